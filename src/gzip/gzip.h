// TGzip: unpacks a downloaded gzip file into its installed file.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

// Unpacks one gzip file per Unpack() call, through a fixed 16 KiB block, so
// any size is unpacked in constant memory. Runs synchronously on the
// caller's thread and never processes window messages. Data that is not
// gzip is copied unchanged; several gzip members one after the other are
// decoded into one output; each member's CRC-32 and length are checked.
// Error boxes are English only and go through OnErrorBox.
class TGzip {
 public:
  // Size of the block used for each read from the gzip stream and each
  // write to the destination.
  static constexpr int kBlockSize = 16384;

  // The gzip file to read (a real path).
  std::string FileSource;
  // The file to write (a real path); created if missing, emptied if present.
  // Never derived from FileSource or from the name stored in the gzip header.
  std::string FileDestination;
  // Delete FileSource once the destination has been created and filled,
  // even when the data turned out to be damaged.
  bool DeleteSource = false;
  // Report each failure through OnErrorBox.
  bool WindowOnError = false;
  // Progress granularity in percent of the source read (0 to 100); 0 means
  // no progress is reported.
  int ProgressStep = 0;

  // Shows an error box: a modal box with the error icon, the caption
  // "Error" and the single button "&Abort"; returns when it is closed.
  // Called only while WindowOnError is true; an empty function shows nothing.
  std::function<void(const std::string& text, const std::string& caption)> OnErrorBox;
  // Called with the percentage of the source read each time it passes a
  // multiple of ProgressStep; not called while ProgressStep is 0.
  std::function<void(int percent)> OnProgress;

  // Closes the destination; returns 0 on success like fclose. Replaceable so
  // that tests can make the close fail. Empty means fclose.
  std::function<int(std::FILE* destination)> CloseDestination;
  // Ends the process after a failed close of the destination, at once and
  // without clean-up. Replaceable for tests; empty means std::_Exit.
  std::function<void(int exit_code)> ExitProcess;

  // Unpacks FileSource into FileDestination and returns:
  //   0  the destination was created, filled and closed. A damaged,
  //      truncated or check-failing stream still gives 0: the destination
  //      keeps what was decoded, the box reads "gzclose Error.", and the
  //      source is deleted when DeleteSource.
  //   1  FileSource could not be opened ("Can't open: " + FileSource);
  //      nothing was created or deleted.
  //   2  FileDestination could not be created ("Can't create: " +
  //      FileDestination); the source is closed and kept. Also 2 when a
  //      write to it failed (a full disk): the box reads "gzclose Error.",
  //      the destination keeps what was written (an in-place unpack keeps
  //      the source instead), and the source is deleted when DeleteSource.
  // When the destination cannot be closed, shows "Can't close file " +
  // FileDestination and ends the process with exit code 1 (a replaced
  // ExitProcess that returns makes Unpack go on and return 0).
  // FileSource and FileDestination may name the same file: the unpacked
  // data then replaces the gzip data, which is not deleted separately.
  [[nodiscard]] int Unpack();

 private:
  void ShowError(const std::string& text) const;
};

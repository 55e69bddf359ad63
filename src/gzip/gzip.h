// TGzip: unpacks a downloaded gzip file into its installed file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file_stream.h"
#include "platform/file_system.h"

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

  // The results of Unpack (see there).
  static constexpr int kUnpacked = 0;
  static constexpr int kSourceNotOpened = 1;
  static constexpr int kNotReplaced = 2;
  static constexpr int kDamaged = 3;
  static constexpr int kPastListedSize = 4;
  static constexpr int kNoRoom = 5;
  static constexpr int kRefused = 6;

  // Bytes an unpack leaves free on the destination's file system: the
  // data of a file that would eat into them is not written.
  static constexpr int64_t kKeptFree = int64_t{64} << 20;

  // What the caller knows of one unpack's result.
  struct Expectation {
    // The most bytes the unpacked data may hold (the size its list gives);
    // -1 when nothing is known.
    int64_t size = -1;
    // Receives the unpacked bytes in order, as they are written.
    std::function<void(std::string_view bytes)> on_bytes;
    // Asked once the data is whole, checked and written, before it
    // replaces the destination: false refuses it. Empty accepts.
    std::function<bool()> accept;
    // The execute bits the destination gets as it is replaced.
    platform::ExecuteBits execute = platform::ExecuteBits::kAsReplaced;
  };

  // The gzip file to read (a real path).
  std::string FileSource;
  // The file to replace (a real path). The data is written to its partial
  // file (platform::PartialFileOf, in the same folder) and renamed over it
  // only once it is complete and checked, so the destination is at every
  // moment either its old or its new content. Never derived from FileSource
  // or from the name stored in the gzip header. FileSource must not be the
  // partial file itself.
  std::string FileDestination;
  // Delete FileSource once it has been read through, also when its data
  // turned out to be damaged (see Unpack for when it is kept).
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

  // Called after the box of a partial file that could not be closed: the
  // system lost data it had taken, so the program owner ends the process
  // there (the updater halts with exit code 1). When it is empty or
  // returns, Unpack goes on as for a failed write.
  std::function<void()> OnCloseFailed;
  // The bytes still free on the file system that holds `path`, or -1 when
  // unknown (see platform::FreeDiskSpace). Replaceable so that tests can
  // stand in a small disk. Empty means platform::FreeDiskSpace.
  std::function<int64_t(const std::string& path)> MeasureFreeSpace;
  // Closes the destination's partial file; returns 0 or the errno like
  // platform::OutputFile::Close. Replaceable so that tests can make the
  // close fail. Empty means OutputFile::Close.
  std::function<int(platform::OutputFile& destination)> CloseDestination;

  // Unpacks FileSource into FileDestination and returns:
  //   0  the destination was replaced by the whole, checked data; the
  //      source is deleted when DeleteSource.
  //   1  FileSource could not be opened ("Can't open: " + FileSource);
  //      nothing was created or deleted.
  //   2  FileDestination could not be replaced ("Can't create: " +
  //      FileDestination): its partial file could not be created, or not
  //      renamed over it (a folder in its place); the source is closed and
  //      kept. Also 2 when a write failed (a full disk): the box reads
  //      "gzclose Error." and the source is deleted when DeleteSource.
  //   3  the data is damaged, truncated or fails its check values: the box
  //      reads "gzclose Error." and the source is deleted when DeleteSource.
  //   4  the data holds more than expected.size bytes: the unpack stopped
  //      at the first byte past them.
  //   5  the data would leave less than kKeptFree bytes free on the
  //      destination's file system (measured as the unpack starts): the
  //      unpack stopped before writing the byte that would.
  //   6  expected.accept refused the data.
  //   For 4 to 6 no box is shown (the caller names the file and why) and
  //   the source is deleted when DeleteSource.
  // Whenever the status is not 0 the destination is left as it was and its
  // partial file is removed. When the partial file cannot be closed, shows
  // "Can't close file " + FileDestination and calls OnCloseFailed, the
  // destination untouched.
  // FileSource and FileDestination may name the same file: the unpacked
  // data then replaces the gzip data, which is not deleted separately.
  [[nodiscard]] int Unpack();
  [[nodiscard]] int Unpack(const Expectation& expected);

 private:
  void ShowError(const std::string& text) const;
};

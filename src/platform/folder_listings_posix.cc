// Each folder's listing is read once and then kept right by the kernel's
// change notifications (inotify) rather than by the callers: the updater,
// its worker threads, the programs it starts and anyone else who creates,
// renames or removes an entry is seen alike. A change made before a lookup
// is queued before the call that made it returns, and every lookup first
// applies what is queued, so a lookup never misses what exists by then.
#include "platform/folder_listings.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>
#include <string_view>
#include <unordered_map>

#include "platform/ascii_case.h"

namespace platform {

namespace {

// Every lookup adds the watch again, which names the folder's watch once it
// has one. IN_MASK_ADD, since a plain add replaces the mask by clearing it
// first, and a change made by another thread in that moment would be lost.
constexpr uint32_t kWatchedChanges =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR | IN_MASK_ADD;

// -1, 0 or 1 as a's bytes compare with b's, A-Z read as a-z.
int CompareFolded(std::string_view a, std::string_view b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const auto x = static_cast<unsigned char>(FoldAsciiCase(a[i]));
    const auto y = static_cast<unsigned char>(FoldAsciiCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// A name to look up without regard to case.
struct Folded {
  std::string_view name;
};

// Names ordered ignoring case first and by their bytes second: the case
// variants of a name stand together, the smallest in byte order first.
struct CaseVariantOrder {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    const int folded = CompareFolded(a, b);
    return folded != 0 ? folded < 0 : a < b;
  }
  bool operator()(Folded a, std::string_view b) const { return CompareFolded(a.name, b) < 0; }
  bool operator()(std::string_view a, Folded b) const { return CompareFolded(a, b.name) < 0; }
};

using Listing = std::set<std::string, CaseVariantOrder>;

std::optional<std::string> Match(const Listing& listing, const std::string& component) {
  if (listing.find(std::string_view(component)) != listing.end()) return component;
  const auto variant = listing.lower_bound(Folded{component});
  if (variant != listing.end() && EqualIgnoringAsciiCase(*variant, component)) return *variant;
  return std::nullopt;
}

bool ReadListing(const std::string& folder, Listing& listing) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") listing.emplace(name);
  }
  closedir(dir);
  return true;
}

class FolderListings {
 public:
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (scopes_++ > 0) return;
    // Without notifications nothing could keep a listing right: lookups
    // then read the folder each time, as outside a scope.
    notifications_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  }

  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--scopes_ > 0) return;
    listings_.clear();
    if (notifications_ >= 0) close(notifications_);  // removes every watch
    notifications_ = -1;
  }

  bool Find(const std::string& folder, const std::string& component, std::optional<std::string>& match) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (notifications_ < 0) return false;
    // The watch names the folder itself, whatever path leads to it: one
    // listing per folder, however it is spelled.
    const int watch = inotify_add_watch(notifications_, folder.c_str(), kWatchedChanges);
    if (watch < 0) return false;
    ApplyChanges();
    auto found = listings_.find(watch);
    if (found == listings_.end()) {
      // Read after the watch is in place: a change made meanwhile is both
      // in the listing and queued, and applying it again changes nothing.
      Listing listing;
      if (!ReadListing(folder, listing)) return false;
      found = listings_.emplace(watch, std::move(listing)).first;
    }
    match = Match(found->second, component);
    return true;
  }

 private:
  void ApplyChanges() {
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
      const ssize_t got = read(notifications_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && errno == EAGAIN) return;
      if (got <= 0) {
        // Changes that cannot be read cannot be applied.
        listings_.clear();
        return;
      }
      for (const char* at = buffer; at < buffer + got;) {
        const auto* change = reinterpret_cast<const inotify_event*>(at);
        Apply(*change);
        at += sizeof(inotify_event) + change->len;
      }
    }
  }

  void Apply(const inotify_event& change) {
    if (change.mask & IN_Q_OVERFLOW) {
      // Changes were lost: every listing is read again when next needed.
      listings_.clear();
      return;
    }
    const auto found = listings_.find(change.wd);
    if (found == listings_.end()) return;
    if (change.mask & IN_IGNORED) {
      listings_.erase(found);  // the folder is gone
      return;
    }
    if (change.len == 0) return;
    const std::string_view name(change.name);  // NUL-padded
    Listing& listing = found->second;
    if (change.mask & (IN_CREATE | IN_MOVED_TO)) {
      listing.emplace(name);
    } else if (change.mask & (IN_DELETE | IN_MOVED_FROM)) {
      if (const auto entry = listing.find(name); entry != listing.end()) listing.erase(entry);
    }
  }

  std::mutex mutex_;
  int scopes_ = 0;
  int notifications_ = -1;
  std::unordered_map<int, Listing> listings_;  // by watch descriptor
};

FolderListings& Listings() {
  static FolderListings listings;
  return listings;
}

}  // namespace

void OpenFolderListings() { Listings().Open(); }

void CloseFolderListings() { Listings().Close(); }

bool FindInFolderListing(const std::string& folder, const std::string& component,
                         std::optional<std::string>& match) {
  return Listings().Find(folder, component, match);
}

}  // namespace platform

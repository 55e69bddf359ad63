#include "lists/digest_fields.h"

int ServedDigestField(char type) {
  switch (type) {
    case 'E': case 'O': case 'C':
      return 6;
    case 'T': case 'A': case 'S': case 'W':
      return 7;  // after the package name
    default:
      return 0;
  }
}

int InstalledDigestField(char type) { return type == 'E' || type == 'O' ? 7 : 0; }

int InstalledSizeField(char type) { return type == 'E' ? 8 : 0; }

int ExecuteFlagField(char type) { return type == 'E' || type == 'O' ? 9 : 0; }

int DeltaIndexField(char type) { return type == 'E' || type == 'O' ? 10 : 0; }

platform::ExecuteBits ListedExecuteBits(std::string_view field) {
  if (field == kExecutableFlag) return platform::ExecuteBits::kSet;
  if (field == kNotExecutableFlag) return platform::ExecuteBits::kCleared;
  return platform::ExecuteBits::kAsReplaced;
}

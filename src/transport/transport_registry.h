// The transports the front-end offers, by the scheme of a server line: the
// engine makes each connection through the factory that serves the line's
// scheme, so servers of different protocols mix in one server list.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "transport/transport.h"

class TransportRegistry {
 public:
  TransportRegistry() = default;
  // {{"scheme", factory}, ...}.
  TransportRegistry(std::initializer_list<std::pair<std::string, TransportFactory>> factories);

  // Serves `scheme` (any case) with `factory`, in place of any before.
  void Add(std::string_view scheme, TransportFactory factory);
  // The factory that serves `scheme` (any case), or nullptr.
  const TransportFactory* Find(std::string_view scheme) const;
  // Why a server line of `scheme` gets no transport, for the line that
  // names the servers tried: "\"https\" servers are not supported".
  static std::string UnservedText(std::string_view scheme);

 private:
  std::map<std::string, TransportFactory, std::less<>> factories_;  // by lower-case scheme
};

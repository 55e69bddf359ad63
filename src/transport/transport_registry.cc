#include "transport/transport_registry.h"

#include "platform/ascii_case.h"

TransportRegistry::TransportRegistry(std::initializer_list<std::pair<std::string, TransportFactory>> factories) {
  for (const auto& [scheme, factory] : factories) Add(scheme, factory);
}

void TransportRegistry::Add(std::string_view scheme, TransportFactory factory) {
  factories_[platform::FoldAsciiCase(std::string(scheme))] = std::move(factory);
}

const TransportFactory* TransportRegistry::Find(std::string_view scheme) const {
  const auto found = factories_.find(platform::FoldAsciiCase(std::string(scheme)));
  return found != factories_.end() ? &found->second : nullptr;
}

std::string TransportRegistry::UnservedText(std::string_view scheme) {
  return "\"" + std::string(scheme) + "\" servers are not supported";
}

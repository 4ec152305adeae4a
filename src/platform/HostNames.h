#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnwick {

// The host's first IPv4 address from the system's resolver (hosts file, DNS), first octet in
// the top byte, or nothing when it does not resolve. Blocks: the rule tester calls it off the
// GUI thread.
std::optional<std::uint32_t> ResolveIpv4(const std::string& host);

} // namespace tarnwick

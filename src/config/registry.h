// Where the mail server keeps its queues, read from its registry values under
// HKEY_LOCAL_MACHINE afresh on every call. Any failure gives empty text.
#pragma once

#include <string>

namespace velmoth {

inline constexpr char kServerKey[] = "SOFTWARE\\korvane\\korvane";
inline constexpr char kBadMailValue[] = "Bad Mail Directory";
inline constexpr char kSmtpConnectorKey[] = "SOFTWARE\\korvane\\korvane\\connectors\\smtp";
inline constexpr char kOutboundQueueValue[] = "Outbound Queue Directory";

// The string value `valueName` of the key `keyPath` under HKEY_LOCAL_MACHINE, as
// UTF-8: the 32-bit registry view first, then the 64-bit one. Empty text when the
// key or value is missing, unreadable or not of a string type.
std::string GetRegString(const std::string& keyPath, const std::string& valueName);

std::string GetBadMailDirectory();
std::string GetOutboundQueueDirectory();

}  // namespace velmoth

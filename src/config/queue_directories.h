// The mail server's two queue directories as this process opens them, each read
// afresh from its registry value and mapped by LocalDirectoryPath.
#pragma once

#include <filesystem>

// The keys and values the errors name: kServerKey and kBadMailValue,
// kSmtpConnectorKey and kOutboundQueueValue, and a key's RegistryKeyName.
#include "config/registry.h"

namespace velmoth {

// The Bad Mail directory, and the SMTP connector's outbound queue. Each throws a
// FileError whose path is the key's RegistryKeyName when its value cannot be read
// (see ReadRegString) or is empty (kErrorNotFound, `The registry value "Bad Mail
// Directory" is empty`), or LocalDirectoryPath's FileError when its text names no
// directory this process can reach.
std::filesystem::path BadMailDirectoryPath();
std::filesystem::path OutboundQueueDirectoryPath();

}  // namespace velmoth

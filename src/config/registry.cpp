// The two registry values Velmoth needs from the mail server: where it parks bad
// mail and where its SMTP connector queues outbound messages.
#include "config/registry.h"

namespace velmoth {

std::string GetBadMailDirectory() { return GetRegString(kServerKey, kBadMailValue); }

std::string GetOutboundQueueDirectory() {
  return GetRegString(kSmtpConnectorKey, kOutboundQueueValue);
}

}  // namespace velmoth

// How long a test goes on watching, after what it waited for has arrived, to
// see that nothing more comes (a second notification, a datagram that should
// have been dropped, an event of a cancelled request): one length for the whole
// suite. Every wait before it is for a condition, bounded; this one only looks.
#pragma once

namespace testsupport {

constexpr int kSettleMs = 250;

}  // namespace testsupport

#pragma once

#include <chrono>
#include <optional>

namespace lumenary::platform {

// The desktop's accessibility setting as the accessibility bus's launcher
// publishes it on the session bus (IsEnabled of org.a11y.Status): Qt
// programs publish their element tree only while it is on, GTK programs
// always do. Absent when the session bus or the launcher does not answer.
// Only read: the setting belongs to the user's desktop. Blocking; the call
// itself waits `replyWait` at most, joining the session bus may take longer
// on a bus that accepts and never answers, so callers bound it themselves.
std::optional<bool> desktopAccessibilityEnabled(std::chrono::milliseconds replyWait = std::chrono::seconds(1));

}  // namespace lumenary::platform

// Checks made by the host build only. A slip that the firmware build quietly
// survives (an index clamped onto a field's last element) stops the test or
// simulator run here, with the place it happened.
#pragma once

#if defined(BOARDSETUP_HOST_BUILD)
[[noreturn]] void HostCheckFailed(const char* What, const char* File, int Line);
#define HOST_CHECK(Condition, What) ((Condition) ? (void)0 : HostCheckFailed((What), __FILE__, __LINE__))
#else
#define HOST_CHECK(Condition, What) ((void)0)
#endif

#pragma once
// The controls of the stand-in audio library (SDK/virtual/libosconf.so),
// beside the five entry points every audio library has. Tests resolve them
// from the loaded library; the virtual headset uses the defaults.
//   M470_FAKE_OSCONF_LOG=FILE    every call is also appended to FILE
//   M470_FAKE_OSCONF_STATE=FILE  properties read at ConfLibInit, written after each write
#include "audio/OsConfApi.h"

#ifdef __cplusplus
extern "C" {
#endif

// Back to the factory properties and endpoints; empties the log and faults.
typedef void (*FakeOsConfResetFn)(void);
// text null removes the property (its reads then fail). A name may end in
// "@TYPE" to answer only on endpoints of that type.
typedef void (*FakeOsConfSetPropertyFn)(const char* name, const char* text);
// Copies the property's text; returns its length, or -1 when it is missing.
typedef int32_t (*FakeOsConfGetPropertyFn)(const char* name, char* text, int32_t size);
// The next count calls (-1: every call) of operation (0 read, 1 write, -1
// both) on the property fail with kOsConfUnsupported.
typedef void (*FakeOsConfFailFn)(const char* name, int32_t operation, int32_t count);
typedef void (*FakeOsConfSetEndpointsFn)(int32_t flow, const AudioDeviceInfo* list, int32_t count);
typedef void (*FakeOsConfSetInitResultFn)(int32_t result);
// The call log, one line per call, copied with a terminator; returns the
// length of the whole log.
typedef int32_t (*FakeOsConfLogFn)(char* text, int32_t size);

#ifdef M470_OSCONF_LIBRARY
M470_OSCONF_EXPORT void FakeOsConfReset(void);
M470_OSCONF_EXPORT void FakeOsConfSetProperty(const char* name, const char* text);
M470_OSCONF_EXPORT int32_t FakeOsConfGetProperty(const char* name, char* text, int32_t size);
M470_OSCONF_EXPORT void FakeOsConfFail(const char* name, int32_t operation, int32_t count);
M470_OSCONF_EXPORT void FakeOsConfSetEndpoints(int32_t flow, const AudioDeviceInfo* list, int32_t count);
M470_OSCONF_EXPORT void FakeOsConfSetInitResult(int32_t result);
M470_OSCONF_EXPORT int32_t FakeOsConfLog(char* text, int32_t size);
#endif

#ifdef __cplusplus
}
#endif

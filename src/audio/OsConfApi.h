#pragma once
// The entry points of the headset's audio-settings library (SDK/libosconf.so),
// shared by the program's bridge and by the libraries that implement them.
// Every entry point returns 0 on success. Property names and read values are
// UTF-8 text; a write carries its value in the first 4 bytes of the value
// buffer (a signed 32-bit integer or a 32-bit float, by property).
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// One endpoint as the library describes it: word 0 and 2 belong to the
// library, word 1 is the endpoint type, word 3 is 1 for a usable endpoint.
typedef struct AudioDeviceInfo {
    int32_t words[4];
} AudioDeviceInfo;

enum {
    kOsConfFlowRender = 0,
    kOsConfFlowCapture = 1,
    kOsConfRead = 0,
    kOsConfWrite = 1,
    // The value buffer a caller passes holds at least this many bytes; a
    // library writes at most kOsConfValueBytes - 1 text bytes and a terminator.
    kOsConfValueBytes = 1024,
};

// Result codes of the libraries built here (callers only compare with 0).
enum {
    kOsConfOk = 0,
    kOsConfBadArgument = 1,
    kOsConfUnsupported = 2,
    kOsConfNoDevice = 3,
    kOsConfSoundError = 4,
};

typedef int32_t (*OsConfLibInitFn)(void);
typedef int32_t (*OsConfCreateDeviceListFn)(void);
typedef int32_t (*OsConfGetDeviceCountFn)(int32_t flow, int32_t* count);
typedef int32_t (*OsConfGetDeviceByIdFn)(int32_t flow, int32_t index, AudioDeviceInfo* info);
typedef int32_t (*OsConfPropertyControlFn)(AudioDeviceInfo device, const char* property, void** value,
                                           void** parameter, int32_t operation);

#define M470_OSCONF_EXPORT __attribute__((visibility("default")))

#ifdef M470_OSCONF_LIBRARY
M470_OSCONF_EXPORT int32_t ConfLibInit(void);
M470_OSCONF_EXPORT int32_t CreateDeviceList(void);
M470_OSCONF_EXPORT int32_t GetDeviceCount(int32_t flow, int32_t* count);
M470_OSCONF_EXPORT int32_t GetDeviceById(int32_t flow, int32_t index, AudioDeviceInfo* info);
M470_OSCONF_EXPORT int32_t PropertyControl(AudioDeviceInfo device, const char* property, void** value,
                                           void** parameter, int32_t operation);
#endif

#ifdef __cplusplus
}
#endif

#include "update/CurlLoader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

namespace m470 {
namespace {

// The one load every loader shares.
struct SharedLoad {
    std::mutex mutex;
    size_t holders = 0;
    void* curl = nullptr;
    void* crypto = nullptr;
    CurlFunctions functions{};
};

SharedLoad& Shared() {
    static SharedLoad load;
    return load;
}

std::string DlError() {
    const char* why = ::dlerror();
    return why != nullptr ? why : "unknown reason";
}

// Stores the symbol in slot; the first missing name is kept in missing.
template <typename Function>
void Resolve(void* library, const char* name, Function& slot, std::string& missing) {
    slot = reinterpret_cast<Function>(::dlsym(library, name));
    if (slot == nullptr && missing.empty()) missing = name;
}

// The first name missing from the libraries; empty when all are there.
std::string ResolveAll(void* curl, void* crypto, CurlFunctions& f) {
    std::string missing;
    Resolve(curl, "curl_global_init", f.globalInit, missing);
    Resolve(curl, "curl_global_cleanup", f.globalCleanup, missing);
    Resolve(curl, "curl_easy_init", f.easyInit, missing);
    Resolve(curl, "curl_easy_cleanup", f.easyCleanup, missing);
    Resolve(curl, "curl_easy_setopt", f.easySetopt, missing);
    Resolve(curl, "curl_easy_getinfo", f.easyGetinfo, missing);
    Resolve(curl, "curl_easy_perform", f.easyPerform, missing);
    Resolve(curl, "curl_easy_strerror", f.easyStrerror, missing);
    Resolve(curl, "curl_slist_append", f.slistAppend, missing);
    Resolve(curl, "curl_slist_free_all", f.slistFreeAll, missing);
    Resolve(crypto, "EVP_MD_CTX_new", f.digestNew, missing);
    Resolve(crypto, "EVP_MD_CTX_free", f.digestFree, missing);
    Resolve(crypto, "EVP_sha256", f.sha256, missing);
    Resolve(crypto, "EVP_DigestInit_ex", f.digestInit, missing);
    Resolve(crypto, "EVP_DigestUpdate", f.digestUpdate, missing);
    Resolve(crypto, "EVP_DigestFinal_ex", f.digestFinal, missing);
    return missing;
}

void CloseLibraries(SharedLoad& load) {
    if (load.crypto != nullptr) ::dlclose(load.crypto);
    if (load.curl != nullptr) ::dlclose(load.curl);
    load.crypto = load.curl = nullptr;
    load.functions = {};
}

// Under the shared mutex, with no holder: the libraries mapped and
// initialised, or the reason they are not.
std::string Load(SharedLoad& load) {
    const char* chosen = std::getenv(kCurlLibraryVariable);
    const std::string curlName = chosen != nullptr && chosen[0] != '\0' ? chosen : kCurlLibrary;
    load.curl = ::dlopen(curlName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (load.curl == nullptr) return curlName + " could not be loaded: " + DlError();
    load.crypto = ::dlopen(kCryptoLibrary, RTLD_NOW | RTLD_LOCAL);
    if (load.crypto == nullptr) {
        const std::string error = std::string(kCryptoLibrary) + " could not be loaded: " + DlError();
        CloseLibraries(load);
        return error;
    }
    if (const std::string missing = ResolveAll(load.curl, load.crypto, load.functions); !missing.empty()) {
        CloseLibraries(load);
        return curlName + " lacks " + missing;
    }
    if (const CURLcode result = load.functions.globalInit(CURL_GLOBAL_DEFAULT); result != CURLE_OK) {
        const std::string error = curlName + " could not be initialised: " + load.functions.easyStrerror(result);
        CloseLibraries(load);
        return error;
    }
    return {};
}

}  // namespace

CurlLoader::CurlLoader() {
    SharedLoad& load = Shared();
    std::lock_guard lock(load.mutex);
    if (load.holders == 0) error_ = Load(load);
    if (!error_.empty()) return;
    ++load.holders;
    functions_ = &load.functions;
}

CurlLoader::~CurlLoader() {
    if (functions_ == nullptr) return;
    SharedLoad& load = Shared();
    std::lock_guard lock(load.mutex);
    if (--load.holders > 0) return;
    load.functions.globalCleanup();
    CloseLibraries(load);
}

size_t CurlLoader::Holders() {
    SharedLoad& load = Shared();
    std::lock_guard lock(load.mutex);
    return load.holders;
}

}  // namespace m470

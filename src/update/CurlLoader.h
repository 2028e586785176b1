#pragma once
// libcurl bound at run time for as long as a request runs. It brings TLS,
// Kerberos, LDAP, SSH and IDN libraries, some megabytes resident, for a check
// that runs rarely; between requests none of them is mapped. Each loader is a
// lease on one shared load: the first loads, the last unloads
// (curl_global_cleanup, then dlclose), under one mutex, so requests on
// different threads may overlap.
#include <curl/curl.h>
#include <openssl/evp.h>

#include <cstddef>
#include <string>

namespace m470 {

// The libraries' sonames, those of the headers we are built with. The
// download's SHA-256 comes from the crypto library libcurl maps anyway.
inline constexpr const char* kCurlLibrary = "libcurl.so.4";
inline constexpr const char* kCryptoLibrary = "libcrypto.so.3";
// Names another file to load in place of libcurl (tests: a library that is not there).
inline constexpr const char* kCurlLibraryVariable = "M470_CURL_LIBRARY";

// Every function the HTTP client calls, resolved when the library is loaded.
struct CurlFunctions {
    CURLcode (*globalInit)(long flags);
    void (*globalCleanup)();
    CURL* (*easyInit)();
    void (*easyCleanup)(CURL*);
    CURLcode (*easySetopt)(CURL*, CURLoption, ...);
    CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...);
    CURLcode (*easyPerform)(CURL*);
    const char* (*easyStrerror)(CURLcode);
    curl_slist* (*slistAppend)(curl_slist*, const char*);
    void (*slistFreeAll)(curl_slist*);
    EVP_MD_CTX* (*digestNew)();
    void (*digestFree)(EVP_MD_CTX*);
    const EVP_MD* (*sha256)();
    int (*digestInit)(EVP_MD_CTX*, const EVP_MD*, ENGINE*);
    int (*digestUpdate)(EVP_MD_CTX*, const void*, size_t);
    int (*digestFinal)(EVP_MD_CTX*, unsigned char*, unsigned int*);
};

class CurlLoader {
public:
    // Loads the libraries unless another loader holds them.
    CurlLoader();
    // The last loader to end unloads them.
    ~CurlLoader();
    CurlLoader(const CurlLoader&) = delete;
    CurlLoader& operator=(const CurlLoader&) = delete;

    bool Loaded() const { return functions_ != nullptr; }
    // Only while Loaded().
    const CurlFunctions& operator*() const { return *functions_; }
    const CurlFunctions* operator->() const { return functions_; }
    // Why the load failed ("libcurl.so.4 could not be loaded: ..."); empty when loaded.
    const std::string& Error() const { return error_; }

    // How many loaders hold the library now.
    static size_t Holders();

private:
    const CurlFunctions* functions_ = nullptr;
    std::string error_;
};

}  // namespace m470

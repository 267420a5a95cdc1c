#pragma once
// libcurl, loaded the first time an address is fetched. Most runs never fetch
// one, and loading libcurl with its TLS, Kerberos and LDAP libraries at
// process start costs more than building a chart. Thread-safe.

#include <curl/curl.h>

struct CurlLibrary {
    CURLcode (*global_init)(long flags);
    CURL* (*easy_init)();
    CURLcode (*easy_setopt)(CURL* curl, CURLoption option, ...);
    CURLcode (*easy_perform)(CURL* curl);
    CURLcode (*easy_getinfo)(CURL* curl, CURLINFO info, ...);
    void (*easy_cleanup)(CURL* curl);
    const char* (*easy_strerror)(CURLcode code);
    CURLU* (*url)();
    CURLUcode (*url_set)(CURLU* url, CURLUPart part, const char* content, unsigned int flags);
    CURLUcode (*url_get)(const CURLU* url, CURLUPart part, char** content, unsigned int flags);
    void (*url_cleanup)(CURLU* url);
    curl_slist* (*slist_append)(curl_slist* list, const char* text);
    void (*slist_free_all)(curl_slist* list);
    void (*free)(void* p);
};

// The loaded library, or null when it cannot be loaded or lacks a function.
const CurlLibrary* curlLibrary();

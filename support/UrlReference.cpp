#include "support/UrlReference.h"

namespace {

struct Parts {
    std::string_view scheme, authority, path, query, fragment;
    bool hasScheme = false, hasAuthority = false, hasQuery = false, hasFragment = false;
};

Parts split(std::string_view s) {
    Parts p;
    if (const size_t hash = s.find('#'); hash != std::string_view::npos) {
        p.fragment = s.substr(hash + 1);
        p.hasFragment = true;
        s = s.substr(0, hash);
    }
    if (const size_t question = s.find('?'); question != std::string_view::npos) {
        p.query = s.substr(question + 1);
        p.hasQuery = true;
        s = s.substr(0, question);
    }
    // A scheme is letters, digits, "+", "-" or "." before the first ":", starting with a letter.
    if (const size_t colon = s.find(':'); colon != std::string_view::npos && colon > 0) {
        bool scheme = (s[0] | 0x20) >= 'a' && (s[0] | 0x20) <= 'z';
        for (size_t i = 1; scheme && i < colon; ++i) {
            const char c = s[i];
            scheme = ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
                     c == '.';
        }
        if (scheme) {
            p.scheme = s.substr(0, colon);
            p.hasScheme = true;
            s = s.substr(colon + 1);
        }
    }
    if (s.substr(0, 2) == "//") {
        s = s.substr(2);
        const size_t slash = s.find('/');
        p.authority = s.substr(0, slash);
        p.hasAuthority = true;
        s = slash == std::string_view::npos ? std::string_view() : s.substr(slash);
    }
    p.path = s;
    return p;
}

// "a/./b/../c" becomes "a/c"; what ".." would climb above the root is dropped.
std::string removeDotSegments(std::string_view in) {
    std::string out;
    while (!in.empty()) {
        if (in.substr(0, 3) == "../") {
            in.remove_prefix(3);
        } else if (in.substr(0, 2) == "./") {
            in.remove_prefix(2);
        } else if (in.substr(0, 3) == "/./") {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.substr(0, 4) == "/../" || in == "/..") {
            in = in.size() == 3 ? std::string_view("/") : in.substr(3);
            const size_t last = out.rfind('/');
            out.erase(last == std::string::npos ? 0 : last);
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const size_t next = in.find('/', 1);
            out.append(in.substr(0, next));
            in = next == std::string_view::npos ? std::string_view() : in.substr(next);
        }
    }
    return out;
}

}  // namespace

std::string resolveUrlReference(std::string_view base, std::string_view reference) {
    const Parts b = split(base);
    const Parts r = split(reference);
    const std::string scheme(r.hasScheme ? r.scheme : b.scheme);
    std::string authority, path, query;
    bool hasAuthority = false, hasQuery = false;
    if (r.hasScheme || r.hasAuthority) {
        // A full address, or one that names its host: only the scheme may come from the base.
        hasAuthority = r.hasAuthority;
        authority = r.authority;
        path = removeDotSegments(r.path);
        hasQuery = r.hasQuery;
        query = r.query;
    } else {
        hasAuthority = b.hasAuthority;
        authority = b.authority;
        if (r.path.empty()) {
            path = b.path;
            hasQuery = r.hasQuery || b.hasQuery;
            query = r.hasQuery ? r.query : b.query;
        } else {
            if (r.path[0] == '/') {
                path = removeDotSegments(r.path);
            } else if (b.hasAuthority && b.path.empty()) {
                path = removeDotSegments("/" + std::string(r.path));
            } else {
                const size_t slash = b.path.rfind('/');
                const std::string merged =
                    std::string(slash == std::string_view::npos ? std::string_view() : b.path.substr(0, slash + 1)) +
                    std::string(r.path);
                path = removeDotSegments(merged);
            }
            hasQuery = r.hasQuery;
            query = r.query;
        }
    }
    std::string out = scheme + ":";
    if (hasAuthority) out += "//" + authority;
    out += path;
    if (hasQuery) out += "?" + query;
    if (r.hasFragment) {
        out += '#';
        out += r.fragment;
    }
    return out;
}

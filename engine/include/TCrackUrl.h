#pragma once
// One absolute URL split into its parts, with the directory path and the registrable domain on
// which the crawler's same-site and same-path decisions rest. Plain value object; each Crack
// replaces every part. Not thread-safe: a download slot's object is split only while no worker
// reads it.

#include <string>
#include <string_view>

class TCrackUrl {
public:
    // Splits Url and fills every field; returns Valid. Only http and https URLs split. On failure
    // every part is empty, Port is 0 and Url still holds the text given.
    bool Crack(const std::string& Url);
    // The same with libcurl's parser for every URL; Crack takes a shortcut for plain ones.
    bool CrackGeneral(const std::string& Url);

    std::string ExtraInfos;       // "?" + query and/or "#" + fragment, percent-decoded
    std::string HostName;         // percent-decoded, case as written
    std::string UrlPassword;      // password before the host
    int Port = 0;                 // written port, else the scheme's default
    std::string Scheme;           // lower-case, without "://"
    std::string Url;              // the text given to Crack, unchanged
    std::string UrlPathWithFile;  // path after the host, percent-decoded; empty without a path
    std::string UrlPath;          // directory part of UrlPathWithFile, begins and ends with "/"
    std::string UrlUserName;      // user name before the host
    std::string Domain;           // registrable domain of HostName, or the whole host
    bool Valid = false;

private:
    void Clear();
    bool CrackPlain(const std::string& Url);
};

// "scheme://host" of Parts, with ":port" unless it is the scheme's default (80 for http, 443 for
// https). Relative links and robots.txt requests are built on it: an explicit default port
// would name the same page twice, once with and once without it.
std::string OriginOf(const TCrackUrl& Parts);
// The same of a scheme, host and port given apart.
std::string OriginOf(std::string_view Scheme, std::string_view Host, int Port);

// The origin of Url as a key that compares equal for the same scheme, host and port (the host's
// letter case ignored); empty when Url does not split. Credentials are bound to one such key.
std::string OriginKey(const std::string& Url);

// 1-based position of the last Ch in S; 0 when S is empty or holds no Ch.
int LastPos(char Ch, const std::string& S);

// Directory path of a URL path: "/a/b/page.html" gives "/a/b/", "/a/b/c" gives "/a/b/c/".
std::string DirectoryOfPath(const std::string& PathWithFile);

// Registrable domain of Host by the public suffix list; the whole host for an IP address,
// "localhost" or a host that has no registrable domain. The host's letter case is kept.
std::string RegistrableDomain(const std::string& Host);

#pragma once

#include <httplib.h>

#include <map>
#include <string>

// One browser's view of the website for tests: requests to the service on loopback that
// keep the cookies the site sets and follow no redirect by themselves.
class SiteVisitor {
public:
    explicit SiteVisitor(int port, std::string acceptLanguage = {});

    // GET `path`; null when the service could not be reached.
    httplib::Result get(const std::string& path);
    // POST `fields` as an urlencoded form to `path`.
    httplib::Result post(const std::string& path,
                         const std::multimap<std::string, std::string>& fields);
    // Signs in through the site's form; true when the service answered with a session.
    bool signIn(const std::string& login, const std::string& password);

    // The value of a cookie the site set; empty when it set none or deleted it.
    std::string cookie(const std::string& name) const;
    void setCookie(const std::string& name, const std::string& value);

    // The value of the first `name` form field in a page (`<input ... name="NAME" value="V">`);
    // empty when the page has none.
    static std::string formValue(const std::string& html, const std::string& name);

private:
    httplib::Headers headers() const;
    void keepCookies(const httplib::Result& result);

    httplib::Client client_;
    std::string acceptLanguage_;
    std::map<std::string, std::string> cookies_;
};

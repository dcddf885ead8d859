#pragma once

#include "requestcontext.h"
#include "sitetexts.h"

#include <kainjow/mustache.hpp>

#include <map>
#include <optional>
#include <string>

class CsrfGuard;

// Renders the website's pages from the templates built into the service: a page's own
// template inside the shared layout (header with the visitor's links, footer with the
// language switch), with the texts of the visitor's language. Values are HTML-escaped by
// the templates unless a template asks otherwise.
class PageRenderer {
public:
    using Data = kainjow::mustache::data;
    static constexpr const char* kLanguageCookie = "pikto_lang";

    // Reads and checks every template. False with a reason when one is missing or does not
    // parse (a build fault the service refuses to start with).
    bool prepare(std::string& error);
    // `forms` gives the CSRF field of the sign-out form every page shows a signed-in visitor
    // (kept, not owned; null: none); `secureCookies`: the language cookie is marked Secure.
    void configure(CsrfGuard* forms, bool secureCookies);

    // The language the request is answered in (see SiteTexts::choose; the cookie is the one
    // a ?lang= choice left).
    static SiteTexts::Language language(const RequestContext& context);
    // One text in the request's language.
    static const std::string& text(const RequestContext& context, const std::string& key);

    // Answers `status` with the page of template `name` (values `values`, title `title`)
    // for `visitor` (the signed-in login, if any). A ?lang= choice is remembered in a cookie.
    // Pages differ by visitor, so no shared cache may keep them; they allow no script.
    void answer(RequestContext& context, int status, const std::string& name,
                const std::string& title, Data values,
                const std::optional<std::string>& visitor) const;
    // Answers `status` with a short page of a heading and a message, both text keys.
    void answerMessage(RequestContext& context, int status, const std::string& headingKey,
                       const std::string& messageKey,
                       const std::optional<std::string>& visitor) const;

    // The page without answering it (the layout around template `name`); empty when there
    // is no such template.
    std::string render(const std::string& name, const std::string& title, Data values,
                       const RequestContext& context,
                       const std::optional<std::string>& visitor) const;

    // Sets `key` to `value` and "has_KEY" to whether it is non-empty, for templates that show
    // a piece only when there is a value ({{#has_KEY}}...{{KEY}}...{{/has_KEY}}).
    static void setOptional(Data& data, const std::string& key, const std::string& value);

    // The names of the templates, for checks that render them all.
    std::vector<std::string> names() const;

    // The path of the request with its query, `lang` set to `code` (the language switch).
    static std::string withLanguage(const RequestContext& context, const std::string& code);

private:
    std::map<std::string, std::string> templates_;
    CsrfGuard* forms_ = nullptr;
    bool secureCookies_ = false;
};

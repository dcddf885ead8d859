#include "pagerenderer.h"

#include "csrfguard.h"

#include "cookies.h"
#include "querystring.h"

#include <QDir>
#include <QFile>

#include "webresponse.h"

namespace {

const QString kTemplateFolder = QStringLiteral(":/site/templates");

std::string readResource(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

PageRenderer::Data makeTexts(SiteTexts::Language language) {
    PageRenderer::Data texts;
    for (const auto& [key, value] : SiteTexts::table(language))
        texts.set(key, value);
    return texts;
}

// The texts of a language as template values, made once.
const PageRenderer::Data& textsOf(SiteTexts::Language language) {
    static const PageRenderer::Data russian = makeTexts(SiteTexts::Language::Russian);
    static const PageRenderer::Data english = makeTexts(SiteTexts::Language::English);
    return language == SiteTexts::Language::English ? english : russian;
}

} // namespace

bool PageRenderer::prepare(std::string& error) {
    const QStringList files = QDir(kTemplateFolder).entryList({QStringLiteral("*.mustache")});
    for (const QString& file : files) {
        const std::string text = readResource(kTemplateFolder + "/" + file);
        kainjow::mustache::mustache parsed(text);
        if (!parsed.is_valid()) {
            error =
                "the page template " + file.toStdString() + " is broken: " + parsed.error_message();
            return false;
        }
        templates_[file.chopped(9).toStdString()] = text;
    }
    if (!templates_.count("layout")) {
        error = "the page templates are missing";
        return false;
    }
    return true;
}

void PageRenderer::setOptional(Data& data, const std::string& key, const std::string& value) {
    data.set(key, value);
    data.set("has_" + key, !value.empty());
}

std::vector<std::string> PageRenderer::names() const {
    std::vector<std::string> names;
    for (const auto& entry : templates_)
        names.push_back(entry.first);
    return names;
}

SiteTexts::Language PageRenderer::language(const RequestContext& context) {
    const auto cookies = Cookies::parse(context.req.get_header_value("Cookie"));
    const auto remembered = cookies.find(kLanguageCookie);
    return SiteTexts::choose(QueryString::value(context.query, "lang").value_or(""),
                             remembered == cookies.end() ? "" : remembered->second,
                             context.req.get_header_value("Accept-Language"));
}

const std::string& PageRenderer::text(const RequestContext& context, const std::string& key) {
    return SiteTexts::text(language(context), key);
}

std::string PageRenderer::withLanguage(const RequestContext& context, const std::string& code) {
    std::string query;
    for (const auto& [name, value] : context.query) {
        if (name != "lang")
            query += QueryString::encode(name) + "=" + QueryString::encode(value) + "&";
    }
    return context.req.path + "?" + query + "lang=" + code;
}

std::string PageRenderer::render(const std::string& name, const std::string& title, Data values,
                                 const RequestContext& context,
                                 const std::optional<std::string>& visitor) const {
    const auto page = templates_.find(name);
    if (page == templates_.end())
        return {};
    const SiteTexts::Language language = PageRenderer::language(context);
    values.set("t", textsOf(language));
    if (visitor) {
        Data who;
        who.set("login", *visitor);
        who.set("home", "/users/" + QueryString::encode(*visitor) + "/");
        values.set("visitor", who);
    }
    values.set("back", QueryString::encode(context.req.path));
    // Templates named "_NAME" are the pieces others include as {{> _NAME}}.
    for (const auto& [pieceName, piece] : templates_) {
        if (pieceName.rfind('_', 0) == 0)
            values.set(pieceName, kainjow::mustache::partial([&text = piece] { return text; }));
    }

    // The body first, so its values (a thousand album cards on a big user page) move into the
    // layout's instead of being copied.
    std::string body = kainjow::mustache::mustache(page->second).render(values);
    Data frame = std::move(values);
    frame.set("lang", SiteTexts::code(language));
    const std::string& siteName = SiteTexts::text(language, "site_name");
    frame.set("title", title == siteName ? title : title + " · " + siteName);
    frame.set("english", language == SiteTexts::Language::English);
    frame.set("to_russian", withLanguage(context, "ru"));
    frame.set("to_english", withLanguage(context, "en"));
    frame.set("body", std::move(body));
    return kainjow::mustache::mustache(templates_.at("layout")).render(frame);
}

void PageRenderer::configure(CsrfGuard* forms, bool secureCookies) {
    forms_ = forms;
    secureCookies_ = secureCookies;
}

void PageRenderer::answer(RequestContext& context, int status, const std::string& name,
                          const std::string& title, Data values,
                          const std::optional<std::string>& visitor) const {
    // The layout shows a signed-in visitor the sign-out form, which carries the field too.
    if (visitor && forms_ && !values.get("csrf"))
        values.set("csrf", forms_->fieldFor(context));
    context.res.status = status;
    context.res.set_header("Cache-Control", "private, no-store");
    // The pages need no script and load nothing from elsewhere: a name or title that slipped
    // past escaping still could not run, and no other site can frame a form.
    context.res.set_header("Content-Security-Policy",
                           "default-src 'none'; img-src 'self'; style-src 'self'; "
                           "form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
    context.res.set_header("X-Content-Type-Options", "nosniff");
    SiteTexts::Language asked;
    if (const auto code = QueryString::value(context.query, "lang");
        code && SiteTexts::fromCode(*code, asked))
        context.res.set_header("Set-Cookie",
                               Cookies::setCookie(kLanguageCookie, SiteTexts::code(asked),
                                                  365LL * 24 * 60 * 60, secureCookies_));
    context.res.set_content(render(name, title, std::move(values), context, visitor),
                            "text/html; charset=utf-8");
}

void PageRenderer::answerMessage(RequestContext& context, int status, const std::string& headingKey,
                                 const std::string& messageKey,
                                 const std::optional<std::string>& visitor) const {
    Data values;
    values.set("heading", text(context, headingKey));
    values.set("message", text(context, messageKey));
    answer(context, status, "message", text(context, headingKey), std::move(values), visitor);
}

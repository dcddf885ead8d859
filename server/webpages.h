#pragma once

#include "albumrecord.h"
#include "csrfguard.h"
#include "database.h"
#include "pagerenderer.h"
#include "photorecord.h"
#include "requestcontext.h"
#include "thumbnailer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class Database;
class PhotoFolder;
class SignInService;

// The website's pages: home, a user's albums, an album's grid, one photo, the sign-in
// form, and the stored photos themselves (the account forms are AccountPages').
//
// Who sees what: the owner of an album, signed in on the site (a session cookie made by
// the sign-in form from the same accounts as the plug-in's), sees every photo of it. Anyone
// else sees only its public photos, and of a password-protected album only after giving
// its password (a form; the right password gives a cookie for that album). A photo's
// address carries a random part, so addresses cannot be guessed from one another.
class WebPages {
public:
    WebPages(Database& db, const PhotoFolder& photos, SignInService& signIn, PageRenderer& renderer)
        : db_(db), photos_(photos), signIn_(signIn), renderer_(renderer), csrf_(db) {}

    // `secureCookies`: the site is served over HTTPS, cookies are marked Secure (the
    // renderer's language cookie too; its sign-out form gets this CSRF guard's field).
    // `openPages`: every photo is shown to everyone at its sequential address, as before
    // access levels were checked (only for tests that read photos back anonymously).
    // `cookieSeconds`: how long session and album cookies last.
    void configure(bool secureCookies, bool openPages, std::int64_t cookieSeconds);

    // GET /: what the service is, the visitor's links, the newest public albums.
    void home(RequestContext& context);
    // GET /passport/signin/: the sign-in form; ?back=PATH is where a sign-in leads.
    void signInForm(RequestContext& context);
    // POST /passport/signin/ (csrf, login, password, back): 303 to back (a path of this
    // site, else "/") with a session cookie; 403 with the form again without a valid CSRF
    // field (another site's post: nobody is signed in to an account of its choice) or for a
    // wrong login or password; 429 beyond the sign-in attempt limits.
    void signIn(RequestContext& context);
    // POST /passport/signout/ (csrf): ends the session, 303 to "/"; 403 without a valid
    // CSRF field, the session kept.
    void signOut(RequestContext& context);
    // GET /users/LOGIN/: the user's albums the visitor may know of, as cards with a cover
    // and the count the visitor may see; 404 when there is no such user.
    void user(RequestContext& context);
    // GET /users/LOGIN/album/ID/: title, description, author and the grid of the photos the
    // visitor may see, newest first; 403 with the password form for a protected album not
    // yet opened; 404 for an album the login does not own.
    void album(RequestContext& context);
    // POST /users/LOGIN/album/ID/ (csrf, password): 303 back to the album with its cookie
    // for the right password; 403 with the form for a wrong one or without a valid CSRF
    // field; 429 beyond the attempt limits.
    void unlockAlbum(RequestContext& context);
    // GET /users/LOGIN/album/ID/photo/PHOTO/: the photo at screen size, its facts, the
    // previous and next photo the visitor may see; 404 when the visitor may not see it.
    void photoPage(RequestContext& context);
    // GET /photos/ID-SECRET.jpg: the stored bytes as image/jpeg when the visitor may see
    // the photo and its original; 404 otherwise, whether it exists or not.
    void photo(RequestContext& context);
    // GET /photos/ID-SECRET/thumb.jpg and .../screen.jpg: the photo scaled for the album grid
    // and for its page, as image/jpeg, to whoever may see the photo; a placeholder image for
    // a file that is not an image; 404 otherwise.
    void scaledPhoto(RequestContext& context);
    // GET /site/NAME: the stylesheet and images of the site; 404 for anything else.
    void asset(RequestContext& context);

    // GET /go.xml on LOGIN.localhost:PORT (the blog address the plug-in's login link opens):
    // 303 to the user's page; 404 when no such user exists.
    void blog(RequestContext& context);

    // The login a blog request names: the first label of a Host header ("alice" of
    // "alice.localhost:8480"); empty when the host has no second label or is an address.
    static std::string blogLogin(const std::string& host);

    // The address of a photo's original on the site.
    std::string photoAddress(const PhotoRecord& photo) const;

private:
    // The address of a photo without ".jpg": the original adds ".jpg", the scaled copies
    // "/thumb.jpg" and "/screen.jpg".
    std::string photoStem(const PhotoRecord& photo) const;
    // The value of an album's cookie: it changes whenever a password is set on the album,
    // the same one again too, so a cookie of an earlier password never opens it again.
    std::string albumKey(const AlbumRecord& album);
    bool holdsAlbumKey(const RequestContext& context, const AlbumRecord& album);
    // True when the visitor may see the album's listing; false when its password is asked.
    bool mayOpen(const RequestContext& context, const AlbumRecord& album,
                 const std::optional<std::string>& login);
    bool maySee(const PhotoRecord& photo, const AlbumRecord& album,
                const std::optional<std::string>& login) const;
    // False when the owner hid the photo's original from everyone else.
    bool mayHaveOriginal(const PhotoRecord& photo, const AlbumRecord& album,
                         const std::optional<std::string>& login) const;
    // True when the visitor sees only the album's public photos, false when every one.
    bool seesOnlyPublic(const AlbumRecord& album, const std::optional<std::string>& login) const;
    std::optional<AlbumRecord> requestedAlbum(const RequestContext& context);
    // The photo an address names ("ID-SECRET", or "ID" with open pages) and its album, when
    // the visitor may see it.
    struct Addressed {
        PhotoRecord photo;
        AlbumRecord album;
    };
    std::optional<Addressed> addressedPhoto(const RequestContext& context, const std::string& stem,
                                            const std::optional<std::string>& login);
    // A card of the album for the home and user pages, with the photos the visitor may see
    // of it; `locked` (none shown) when its password is asked.
    PageRenderer::Data card(const RequestContext& context, const Database::AlbumSummary& summary,
                            bool locked, bool withAuthor);
    // Answers the site's file `name` (stylesheet, pictures); 404 for any other name.
    void answerAsset(RequestContext& context, const std::string& name);
    // The access level and flags of a photo in words, for tiles and the photo page.
    static void describe(const RequestContext& context, const PhotoRecord& photo,
                         PageRenderer::Data& values);
    void notFound(RequestContext& context, const std::optional<std::string>& login);
    void askAlbumPassword(RequestContext& context, int status, const std::string& messageKey);
    void answerSignInForm(RequestContext& context, int status, const std::string& messageKey);

    Database& db_;
    const PhotoFolder& photos_;
    SignInService& signIn_;
    PageRenderer& renderer_;
    CsrfGuard csrf_;
    Thumbnailer thumbnails_{photos_};
    bool secureCookies_ = false;
    bool openPages_ = false;
    std::int64_t cookieSeconds_ = 30LL * 24 * 60 * 60;
};

// Cost of pikto-service at scale. Two steps:
//   bench_service_scale --fill DATA [--photos 100000] [--albums 1000] [--login scale]
//     fills a new data folder straight through the service's storage (no upload): one
//     account, ALBUMS albums, PHOTOS public photos of one small real JPEG spread over them;
//     prints "album ID" and "photo ID" of one album and photo to look at.
//   bench_service_scale --origin URL --login L --token T --album ID --photo ID [--requests 200]
//     asks each page and API of a running service REQUESTS times, one after another on one
//     kept-alive connection, then uploads REQUESTS photos; prints "p95 KIND MS" per kind.

#include "database.h"
#include "photofolder.h"
#include "photorecord.h"

#include <QBuffer>
#include <QImage>

#include <httplib.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string fill;
    std::string origin;
    std::string login = "scale";
    std::string token;
    std::string album;
    std::string photo;
    int photos = 100000;
    int albums = 1000;
    int requests = 200;
};

// A small real JPEG (a 64×48 gradient), so that thumbnails of it could be made too.
std::string smallJpeg() {
    QImage image(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 5, 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 80);
    return bytes.toStdString();
}

int fill(const Options& options) {
    const std::string jpeg = smallJpeg();
    std::string error;
    PhotoFolder folder(options.fill + "/photos");
    Database db;
    if (!folder.prepare(error) || !db.open(options.fill + "/pikto.sqlite", error) ||
        !db.ensureUser(options.login)) {
        std::cerr << "bench_service_scale: " << error << "\n";
        return 1;
    }
    std::vector<std::int64_t> albumIds;
    for (int a = 0; a < options.albums; ++a) {
        const auto album = db.createAlbum(options.login, "Album " + std::to_string(a + 1), "", "");
        if (!album)
            return 1;
        albumIds.push_back(album->id);
    }
    // A photo in the middle of an album in the middle, so neither end is favoured.
    const std::int64_t middleAlbum = albumIds[albumIds.size() / 2];
    std::vector<std::int64_t> inMiddle;
    for (int p = 0; p < options.photos; ++p) {
        PhotoRecord photo;
        photo.albumId = albumIds[static_cast<std::size_t>(p) * albumIds.size() /
                                 static_cast<std::size_t>(options.photos)];
        photo.fileName = "IMG_" + std::to_string(p + 1) + ".JPG";
        photo.access = "public";
        photo.size = static_cast<std::int64_t>(jpeg.size());
        const auto temporary = folder.makeTemporary();
        if (!temporary)
            return 1;
        const bool written = ::write(temporary->first, jpeg.data(), jpeg.size()) ==
                             static_cast<ssize_t>(jpeg.size());
        ::close(temporary->first);
        const auto id =
            written ? folder.store(db, photo, options.login, temporary->second) : std::nullopt;
        if (!id) {
            std::cerr << "bench_service_scale: photo " << p << " not stored\n";
            return 1;
        }
        if (photo.albumId == middleAlbum)
            inMiddle.push_back(*id);
    }
    std::printf("album %lld\nphoto %lld\n", static_cast<long long>(middleAlbum),
                static_cast<long long>(inMiddle.empty() ? 0 : inMiddle[inMiddle.size() / 2]));
    return 0;
}

double p95(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? 0 : ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
}

int measure(const Options& options) {
    httplib::Client client(options.origin);
    client.set_keep_alive(true);
    client.set_read_timeout(30, 0);
    const httplib::Headers auth = {
        {"Authorization", "ZimpToken realm=\"pikto.ovrana.ru\", token=\"" + options.token + "\""}};
    const std::string user = "/users/" + options.login + "/";
    const std::string album = user + "album/" + options.album + "/";
    const std::map<std::string, std::function<httplib::Result()>> kinds = {
        {"album-list-api",
         [&] { return client.Get(("/api/users/" + options.login + "/albums/").c_str(), auth); }},
        {"album-page", [&] { return client.Get(album.c_str()); }},
        {"user-page", [&] { return client.Get(user.c_str()); }},
        {"home-page", [&] { return client.Get("/"); }},
        {"photo-page",
         [&] { return client.Get((album + "photo/" + options.photo + "/").c_str()); }},
        {"upload", [&] {
             const std::string jpeg = smallJpeg();
             httplib::MultipartFormDataItems form = {{"token", options.token, "", ""},
                                                     {"album", options.album, "", ""},
                                                     {"access_type", "public", "", ""},
                                                     {"image", jpeg, "IMG_NEW.JPG", "image/jpeg"}};
             return client.Post("/post/", form);
         }}};
    int failures = 0;
    for (const auto& [kind, ask] : kinds) {
        std::vector<double> ms;
        for (int i = 0; i < options.requests; ++i) {
            const Clock::time_point start = Clock::now();
            const httplib::Result result = ask();
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            if (!result || result->status != 200) {
                std::cerr << "bench_service_scale: " << kind << " answered "
                          << (result ? std::to_string(result->status) : "nothing") << "\n";
                ++failures;
                break;
            }
        }
        std::printf("p95 %s %.1f\n", kind.c_str(), p95(ms));
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--fill")
            options.fill = value;
        else if (name == "--origin")
            options.origin = value;
        else if (name == "--login")
            options.login = value;
        else if (name == "--token")
            options.token = value;
        else if (name == "--album")
            options.album = value;
        else if (name == "--photo")
            options.photo = value;
        else if (name == "--photos")
            options.photos = std::stoi(value);
        else if (name == "--albums")
            options.albums = std::stoi(value);
        else if (name == "--requests")
            options.requests = std::stoi(value);
        else {
            std::cerr << "bench_service_scale: unknown option " << name << "\n";
            return 2;
        }
    }
    if (options.photos < 1 || options.albums < 1 || options.requests < 1)
        return 2;
    return options.fill.empty() ? measure(options) : fill(options);
}

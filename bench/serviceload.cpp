// Load on pikto-service: CLIENTS threads, each on its own kept-alive connection, sign in
// (key and token), list the albums and upload a photo of SIZE bytes, over and over for
// SECONDS; prints requests per second and latency percentiles per kind of request, and
// writes the uploaded photos' names to a manifest. With --verify it signs in on the site
// instead and checks that every photo of the manifest is served, byte for byte.
//
//   bench_service_load --origin http://127.0.0.1:PORT --login L --password P
//                      [--clients 8] [--seconds 30] [--size 2097152] --manifest FILE
//   bench_service_load --verify --origin ... --login L --password P --manifest FILE

#include "rsaencrypttext.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string origin;
    std::string login;
    std::string password;
    std::string manifest;
    int clients = 8;
    int seconds = 30;
    std::size_t size = 2 * 1024 * 1024;
    bool verify = false;
};

// The photo named "cC-nN.jpg": a JPEG start marker and bytes of a generator seeded by C, N.
std::string photoBytes(const std::string& name, std::size_t size) {
    std::uint64_t state = std::hash<std::string>{}(name) | 1;
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        for (std::size_t k = 0; k < 8 && i + k < size; ++k)
            bytes[i + k] = static_cast<char>(state >> (8 * k));
    }
    bytes[0] = static_cast<char>(0xff);
    bytes[1] = static_cast<char>(0xd8);
    return bytes;
}

std::string between(const std::string& text, const std::string& open, const std::string& close) {
    const std::size_t start = text.find(open);
    if (start == std::string::npos)
        return {};
    const std::size_t end = text.find(close, start + open.size());
    return end == std::string::npos ? std::string()
                                    : text.substr(start + open.size(), end - start - open.size());
}

std::string urlEncoded(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
        }
    }
    return out;
}

struct Samples {
    std::mutex mutex;
    std::map<std::string, std::vector<double>> millis; // kind -> latencies
    std::vector<std::string> uploaded;                 // "id name"
    std::atomic<int> failures = 0;
};

std::unique_ptr<httplib::Client> connect(const Options& options) {
    auto client = std::make_unique<httplib::Client>(options.origin);
    client->set_keep_alive(true);
    client->set_read_timeout(30);
    client->set_write_timeout(30);
    client->enable_server_certificate_verification(false);
    return client;
}

void runClient(const Options& options, int index, Clock::time_point end, Samples& samples) {
    const auto client = connect(options);
    std::map<std::string, std::vector<double>> mine;
    std::vector<std::string> uploaded;
    auto timed = [&](const char* kind, auto&& call) {
        const auto start = Clock::now();
        httplib::Result result = call();
        mine[kind].push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (!result || result->status >= 400)
            ++samples.failures;
        return result;
    };
    for (int n = 0; Clock::now() < end; ++n) {
        const httplib::Result key = timed("key", [&] { return client->Get("/ovmrsa/key/"); });
        if (!key)
            continue;
        const std::string keyText = between(key->body, "<key>", "</key>");
        const std::string requestId = between(key->body, "<request_id>", "</request_id>");
        const std::string snippet =
            "<credentials login=\"" + options.login + "\" password=\"" + options.password + "\" />";
        std::vector<char> cipher(4096);
        if (!rsa_encrypt_text(keyText.c_str(), snippet.c_str(), cipher.data(), cipher.size())) {
            ++samples.failures;
            continue;
        }
        const httplib::Result token = timed("token", [&] {
            return client->Post("/ovmrsa/token/",
                                "credentials=" + urlEncoded(cipher.data()) +
                                    "&request_id=" + requestId,
                                "application/x-www-form-urlencoded");
        });
        const std::string tokenText = token ? between(token->body, "<token>", "</token>") : "";
        if (tokenText.empty()) {
            ++samples.failures;
            continue;
        }
        const httplib::Headers auth{
            {"Authorization", "ZimpToken realm=\"pikto.ovrana.ru\", token=\"" + tokenText + "\""}};
        timed("albums", [&] {
            return client->Get(("/api/users/" + options.login + "/albums/").c_str(), auth);
        });
        const std::string name = "c" + std::to_string(index) + "-n" + std::to_string(n) + ".jpg";
        httplib::MultipartFormDataItems form{
            {"token", tokenText, "", ""},
            {"album", "-1", "", ""},
            {"access_type", "private", "", ""},
            {"image", photoBytes(name, options.size), name, "image/jpeg"}};
        const httplib::Result upload =
            timed("upload", [&] { return client->Post("/post/", form); });
        if (upload && upload->body.rfind("OK ", 0) == 0)
            uploaded.push_back(upload->body.substr(3) + " " + name);
        else
            ++samples.failures;
    }
    std::lock_guard lock(samples.mutex);
    for (auto& [kind, values] : mine)
        samples.millis[kind].insert(samples.millis[kind].end(), values.begin(), values.end());
    samples.uploaded.insert(samples.uploaded.end(), uploaded.begin(), uploaded.end());
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

int load(const Options& options) {
    Samples samples;
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(options.seconds);
    std::vector<std::thread> threads;
    for (int i = 0; i < options.clients; ++i)
        threads.emplace_back([&, i] { runClient(options, i, end, samples); });
    for (std::thread& thread : threads)
        thread.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    std::vector<double> all;
    for (const auto& [kind, values] : samples.millis)
        all.insert(all.end(), values.begin(), values.end());
    std::printf("  %d clients for %.1f s: %zu requests, %.1f requests/s, %d failed\n",
                options.clients, elapsed, all.size(), static_cast<double>(all.size()) / elapsed,
                samples.failures.load());
    std::printf("  %-8s %8s %9s %9s %9s\n", "request", "count", "p50 ms", "p99 ms", "max ms");
    for (const auto& [kind, values] : samples.millis)
        std::printf("  %-8s %8zu %9.2f %9.2f %9.2f\n", kind.c_str(), values.size(),
                    percentile(values, 0.5), percentile(values, 0.99),
                    *std::max_element(values.begin(), values.end()));
    std::printf("  %-8s %8zu %9.2f %9.2f\n", "all", all.size(), percentile(all, 0.5),
                percentile(all, 0.99));
    std::printf("  uploaded %zu photos of %zu bytes\n", samples.uploaded.size(), options.size);
    std::ofstream manifest(options.manifest);
    manifest << options.size << "\n";
    for (const std::string& line : samples.uploaded)
        manifest << line << "\n";
    return manifest && samples.failures == 0 ? 0 : 1;
}

int verify(const Options& options) {
    std::ifstream manifest(options.manifest);
    std::size_t size = 0;
    manifest >> size;
    std::map<std::string, std::string> expected; // id -> name
    std::string id;
    std::string name;
    while (manifest >> id >> name)
        expected[id] = name;

    const auto client = connect(options);
    // The form's CSRF cookie and field first, as a browser has them.
    const httplib::Result form = client->Get("/passport/signin/");
    const std::string formCookie = form ? form->get_header_value("Set-Cookie") : std::string();
    std::smatch field;
    const std::string formBody = form ? form->body : std::string();
    std::regex_search(formBody, field, std::regex("name=\"csrf\" value=\"([0-9a-f]+)\""));
    const httplib::Result signIn = client->Post(
        "/passport/signin/", {{"Cookie", formCookie.substr(0, formCookie.find(';'))}},
        "login=" + urlEncoded(options.login) + "&password=" + urlEncoded(options.password) +
            "&csrf=" + (field.size() > 1 ? field[1].str() : std::string()),
        "application/x-www-form-urlencoded");
    if (!signIn || signIn->status != 303) {
        std::fprintf(stderr, "verify: the site sign-in failed (%s)\n",
                     signIn ? std::to_string(signIn->status).c_str()
                            : httplib::to_string(signIn.error()).c_str());
        return 1;
    }
    const std::string cookie = signIn->get_header_value("Set-Cookie");
    const httplib::Headers session{{"Cookie", cookie.substr(0, cookie.find(';'))}};
    // The unsorted album holds every upload: find it on the user's page.
    const httplib::Result user = client->Get(("/users/" + options.login + "/").c_str(), session);
    std::smatch match;
    const std::string userBody = user ? user->body : std::string();
    if (!std::regex_search(userBody, match, std::regex("href=\"(/users/[^\"]+/album/\\d+/)\""))) {
        std::fprintf(stderr, "verify: no album on the user's page\n");
        return 1;
    }
    // Each photo of the grid leads to its page, which links the original; the album comes in
    // pages, each linking the next.
    std::size_t present = 0;
    std::size_t same = 0;
    const std::regex tile(
        "<li class=\"photo\" id=\"photo-(\\d+)\">\\s*<a class=\"tile\" href=\"([^\"]+)\"");
    const std::regex original("<a class=\"original\" href=\"([^\"]+)\"");
    const std::regex nextPage("<a rel=\"next\" href=\"([^\"]+)\" class=\"next\">");
    std::string pageBody;
    for (std::string address = match[1].str(); !address.empty();) {
        const httplib::Result page = client->Get(address.c_str(), session);
        if (!page || page->status != 200) {
            std::fprintf(stderr, "verify: the album page did not answer\n");
            return 1;
        }
        std::smatch next;
        address = std::regex_search(page->body, next, nextPage) ? next[1].str() : std::string();
        pageBody += page->body;
    }
    for (auto it = std::sregex_iterator(pageBody.begin(), pageBody.end(), tile);
         it != std::sregex_iterator(); ++it) {
        const auto wanted = expected.find((*it)[1].str());
        if (wanted == expected.end())
            continue;
        ++present;
        const httplib::Result photoPage = client->Get((*it)[2].str().c_str(), session);
        std::smatch link;
        const std::string photoBody = photoPage ? photoPage->body : std::string();
        if (!std::regex_search(photoBody, link, original))
            continue;
        const httplib::Result bytes = client->Get(link[1].str().c_str(), session);
        if (bytes && bytes->status == 200 && bytes->body == photoBytes(wanted->second, size))
            ++same;
    }
    std::printf("  after a restart: %zu of %zu uploaded photos listed, %zu byte for byte\n",
                present, expected.size(), same);
    return present == expected.size() && same == expected.size() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (arg == "--origin")
            options.origin = value();
        else if (arg == "--login")
            options.login = value();
        else if (arg == "--password")
            options.password = value();
        else if (arg == "--manifest")
            options.manifest = value();
        else if (arg == "--clients")
            options.clients = std::stoi(value());
        else if (arg == "--seconds")
            options.seconds = std::stoi(value());
        else if (arg == "--size")
            options.size = std::stoul(value());
        else if (arg == "--verify")
            options.verify = true;
        else {
            std::fprintf(stderr, "bench_service_load: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (options.origin.empty() || options.login.empty() || options.manifest.empty()) {
        std::fprintf(stderr, "bench_service_load: --origin, --login and --manifest are needed\n");
        return 2;
    }
    return options.verify ? verify(options) : load(options);
}

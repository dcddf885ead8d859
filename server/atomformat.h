#pragma once

#include "albumrecord.h"

#include <optional>
#include <string>
#include <vector>

// The Atom documents of the album API: the default namespace is Atom and the prefix "f"
// is bound to "ovrana:pikto". Every document is UTF-8 and starts with the declaration
// <?xml version="1.0" encoding="UTF-8"?>.
class AtomFormat {
public:
    // What a client's entry (create or update body) asks for.
    struct EntryFields {
        std::optional<std::string> title;
        std::optional<std::string> summary;
        // Absent: keep the password; empty: remove it; otherwise set it.
        std::optional<std::string> password;
    };

    // The feed of the account's albums, one <entry> per album in the given order.
    static std::string feed(const std::string& login, const std::vector<AlbumRecord>& albums);
    // One album as a document whose root is <entry>.
    static std::string entry(const AlbumRecord& album);
    // The fields of an <entry> document; empty when the body is not well-formed XML, nests
    // deeper than XmlDepth::kLimit, or its root is not an entry. Element names are compared as
    // written ("f:password").
    static std::optional<EntryFields> parseEntry(const std::string& body);
};

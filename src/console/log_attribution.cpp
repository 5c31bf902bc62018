#include "console/log_attribution.h"

#include <algorithm>
#include <vector>

namespace stravik::console {

namespace {

bool isDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char character) {
        return character >= '0' && character <= '9';
    });
}

// "-20261209T101500Z-1234" at the end of a new file's stem, beside a log
// that someone else held.
std::string_view withoutBesideSuffix(std::string_view stem) {
    const std::size_t processDash = stem.rfind('-');
    if (processDash == std::string_view::npos || !isDigits(stem.substr(processDash + 1))) {
        return stem;
    }
    const std::string_view rest = stem.substr(0, processDash);
    constexpr std::size_t timeLength = 16;  // 20261209T101500Z
    if (rest.size() <= timeLength || rest[rest.size() - timeLength - 1] != '-') {
        return stem;
    }
    const std::string_view time = rest.substr(rest.size() - timeLength);
    if (!isDigits(time.substr(0, 8)) || time[8] != 'T' || !isDigits(time.substr(9, 6)) ||
        time[15] != 'Z') {
        return stem;
    }
    return rest.substr(0, rest.size() - timeLength - 1);
}

std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t separator = path.find_first_of("\\/");
        if (separator != 0) {
            parts.push_back(path.substr(0, separator));
        }
        if (separator == std::string_view::npos) {
            break;
        }
        path.remove_prefix(separator + 1);
    }
    return parts;
}

PlaceKind kindOfFolder(std::string_view name) {
    const std::string folded = upperAscii(name);
    return folded == "COMPUTERS" ? PlaceKind::computers
           : folded == "USERS"   ? PlaceKind::users
           : folded == "HOMES"   ? PlaceKind::homes
                                 : PlaceKind::none;
}

std::string shownOwner(const LogOwner& owner) {
    if (owner.kind == FileOwner::Kind::account) {
        return owner.domain.empty() ? owner.name : owner.domain + "\\" + owner.name;
    }
    return owner.id.empty() ? owner.name : owner.id;
}

}  // namespace

std::string upperAscii(std::string_view text) {
    std::string upper(text);
    for (char& character : upper) {
        if (character >= 'a' && character <= 'z') {
            character = static_cast<char>(character - 'a' + 'A');
        }
    }
    return upper;
}

std::string computerKey(std::string_view name) {
    while (!name.empty() && (name.back() == '\r' || name.back() == ' ' || name.back() == '\t')) {
        name.remove_suffix(1);
    }
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) {
        name.remove_prefix(1);
    }
    if (const std::size_t domain = name.find_last_of('\\'); domain != std::string_view::npos) {
        name.remove_prefix(domain + 1);
    }
    if (!name.empty() && name.back() == '$') {
        name.remove_suffix(1);
    }
    if (const std::size_t suffix = name.find('.'); suffix != std::string_view::npos) {
        name = name.substr(0, suffix);
    }
    return upperAscii(name);
}

LogPlace placeOf(std::string_view shownPath) {
    const std::vector<std::string_view> parts = components(shownPath);
    LogPlace place;
    if (parts.empty()) {
        return place;
    }
    std::string_view stem = parts.back();
    if (stem.size() <= 4 || upperAscii(stem.substr(stem.size() - 4)) != ".LOG") {
        return place;
    }
    stem.remove_suffix(4);
    place.stem = std::string(withoutBesideSuffix(stem));
    // The folder given, and the folders below it, before the file's name.
    if (parts.size() == 2) {
        place.kind = kindOfFolder(parts[0]);
    } else if (parts.size() == 3) {
        place.kind = kindOfFolder(parts[1]);
    }
    return place;
}

bool isComputersFolder(std::string_view shownPath) {
    const std::vector<std::string_view> parts = components(shownPath);
    return (parts.size() == 1 || parts.size() == 2) &&
           kindOfFolder(parts.back()) == PlaceKind::computers;
}

Attribution attribute(const LogPlace& place, const LogOwner& owner, Trust trust) {
    Attribution attribution;
    attribution.owner = shownOwner(owner);
    if (place.kind == PlaceKind::none) {
        return attribution;
    }
    using Verdict = Attribution::Verdict;
    if (trust == Trust::place || owner.kind == FileOwner::Kind::machine) {
        attribution.verdict = Verdict::place;
        return attribution;
    }
    if (owner.kind != FileOwner::Kind::account) {
        attribution.verdict = Verdict::ownerUnknown;
        attribution.note =
            owner.kind == FileOwner::Kind::unresolved
                ? "owned by " + attribution.owner + ", which names no account here"
                : "no owner recorded" + (owner.id.empty() ? std::string() : " (" + owner.id + ")");
        return attribution;
    }
    const std::string stem = upperAscii(place.stem);
    const std::string name = upperAscii(owner.name);
    attribution.verdict = Verdict::taken;
    if (place.kind == PlaceKind::computers) {
        // A computer's account is its name and a "$".
        if (name == stem + "$") {
            attribution.verdict = Verdict::place;
        }
    } else if (place.kind == PlaceKind::users && !name.empty() && stem.size() > name.size() + 1 &&
               stem.ends_with("-" + name)) {
        attribution.verdict = Verdict::place;
        attribution.computer = stem.substr(0, stem.size() - name.size() - 1);
        attribution.user = name;
    }
    if (attribution.verdict == Verdict::taken) {
        attribution.note = "owned by " + attribution.owner;
    }
    return attribution;
}

Speaking speaksFor(const LogPlace& place, const Attribution& attribution, std::string_view computer,
                   std::string_view user, std::string_view scope) {
    Speaking speaking;
    const bool machinePart = scope == "machine" || scope == "everything";
    const bool userPart = scope == "user" || scope == "everything";
    const bool homePart = scope == "home";
    const std::string computerName = computerKey(computer);
    const std::string userName = upperAscii(user);
    const std::string stem = upperAscii(place.stem);
    if (place.kind == PlaceKind::computers) {
        if (!machinePart || stem != computerName) {
            speaking.mismatch = "a record for " +
                                (machinePart ? "computer " + std::string(computer)
                                 : homePart  ? std::string("a sweep of home folders")
                                             : std::string("a user's part")) +
                                " in a computer's log";
        }
        speaking.machine = speaking.mismatch.empty();
    } else if (place.kind == PlaceKind::users) {
        // The owner, when it is the user, has already said where the name
        // splits; otherwise the whole name must be the record's.
        const bool named = attribution.user.empty() ? stem == computerName + "-" + userName
                                                    : attribution.computer == computerName &&
                                                          attribution.user == userName;
        if (!userPart || !named) {
            speaking.mismatch =
                "a record for " +
                (userPart   ? "computer " + std::string(computer) + ", user " + std::string(user)
                 : homePart ? std::string("a sweep of home folders")
                            : std::string("the machine's part")) +
                " in a user's log";
        }
        speaking.user = speaking.mismatch.empty();
    } else if (place.kind == PlaceKind::homes) {
        // Who ran the sweep and where is the sweep's own business: its log
        // is an administrator's, and its rows are named by the folders.
        if (!homePart) {
            speaking.mismatch = "a record for computer " + std::string(computer) +
                                " in a sweep's log of home folders";
        }
        speaking.home = speaking.mismatch.empty();
    }
    if (!machinePart && !userPart && !homePart) {
        speaking = {false, false, false, "a record of no known scope"};
    }
    return speaking;
}

}  // namespace stravik::console

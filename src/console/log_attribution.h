#pragma once

// Whom a log on a share may speak for. Names on a share are chosen by
// whoever creates the file first, so a name alone proves nothing: the
// file's owner (the default owner of the account that created it, which
// appending never changes) says who did. A log is attributed to a computer
// or a user only when it lies where the scripts put it and its owner is
// the account that writes there:
//
//   computers\PC1*.log   owned by PC1$ (any domain): the machine's part of PC1
//   users\PC1-anna*.log  owned by anna (any domain): anna's part on PC1
//   homes\FS1*.log       a sweep of home folders on a file server
//
// and in all of them SYSTEM or the Administrators group, which only an
// administrator of the server can be; a sweep's log only by those two,
// since a sweep speaks for every user's home folder. Any other owner took the name, and
// the file is shown as such, never folded into the row its name claims.
// Within an attributed file, each record still has to claim the computer,
// user and part that the place names, or it is shown as a mismatch.

#include <optional>
#include <string>
#include <string_view>

#include "console/console_host.h"

namespace stravik::console {

// The folders the scripts write to. A log is placed only when it lies
// directly in such a folder, and that folder is one of those given to the
// report or directly under one.
enum class PlaceKind { computers, users, homes, none };

struct LogPlace {
    PlaceKind kind = PlaceKind::none;
    // The file's name without ".log" and without the "-<UTC time>-<pid>" of
    // a new file made beside a held log, as written: "PC-01-anna" cannot be
    // split safely into computer and user by its name alone.
    std::string stem;
};

// The place of a log from its path as the report shows it: the given
// folder's own name first, then the folders below it, then the file's name
// (either separator). Only ".log" files are placed.
LogPlace placeOf(std::string_view shownPath);

// Whether a folder so shown is a `computers` folder that the report reads
// as the scripts' layout: one given, or directly under one given.
bool isComputersFolder(std::string_view shownPath);

// The owner as the attribution reads it: UTF-8 texts.
struct LogOwner {
    FileOwner::Kind kind = FileOwner::Kind::none;
    std::string domain, name, id;
};

// What trusts a placed log: its owner, or (asked for explicitly, for a
// share on a file system that keeps no owners) its place alone.
enum class Trust { owner, place };

struct Attribution {
    enum class Verdict {
        place,          // it speaks for its place
        taken,          // another account owns the name
        ownerUnknown,   // its owner names no account, or none is recorded
        notAttributed,  // it lies where the scripts put no log
    };
    Verdict verdict = Verdict::notAttributed;
    // For a user's log owned by its user: the computer its name leaves when
    // the owner's name is taken off the end (upper case), and that user.
    std::string computer, user;
    // Who owns it, as shown: "CORP\bob", "S-1-5-21-...".
    std::string owner;
    // For a log taken or of an unknown owner: what the report says of it.
    std::string note;
};

Attribution attribute(const LogPlace& place, const LogOwner& owner, Trust trust);

// The parts of a row that a record in an attributed log counts for, or
// why it counts for none: what it claims set against its place.
struct Speaking {
    bool machine = false;
    bool user = false;
    bool home = false;     // a sweep's home folders
    std::string mismatch;  // empty when it speaks for its place
};
// `computer` and `user` as the record claims them.
Speaking speaksFor(const LogPlace& place, const Attribution& attribution, std::string_view computer,
                   std::string_view user, std::string_view scope);

// One case folding for names and places: ASCII letters to upper case.
std::string upperAscii(std::string_view text);

// A computer's name as the report matches it: upper case, without a
// trailing "$", a domain before a backslash or a DNS suffix.
std::string computerKey(std::string_view name);

}  // namespace stravik::console

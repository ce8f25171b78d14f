#pragma once

#include <QList>
#include <QString>
#include <optional>

// Larkspur's one rule for the links (symbolic links, and on Windows
// junctions) on the way to the station file, the same on every system; each
// system's file only gathers the facts it is given.
//
// A link is followed only when everyone who may change where it leads is
// trusted: the user saving, the system's own accounts (root; on Windows
// Administrators, SYSTEM and TrustedInstaller), or the owner of the folder
// the file is saved in, who could write there anyway. So a link that another
// user planted, or may re-point, cannot make an administrator's save write
// where that user may not. Every link of a chain is judged.

// An account as the system names it: a user ID's digits, or a SID's text.
using Account = QString;
// Stands for anyone at all: nobody can trust it.
inline const Account anyone = QStringLiteral("*");

struct TrustedAccounts {
    Account user;
    QList<Account> system;
    // Unknown while the walk is still on its way to the folder.
    std::optional<Account> folderOwner;
};

// The first account that may change a link on the way and is not trusted,
// or nothing when the save may follow every link. `changers` holds, for
// each link in the order met, everyone who may change where it leads.
// Without the folder's owner yet, one account beyond the user and the
// system may still turn out to own it, and is given that benefit until the
// walk ends; a second one is refused at once.
std::optional<Account> untrustedChanger(const QList<QList<Account>>& changers,
                                        const TrustedAccounts& trusted);

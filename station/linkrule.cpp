#include "linkrule.h"

std::optional<Account> untrustedChanger(const QList<QList<Account>>& changers,
                                        const TrustedAccounts& trusted) {
    const bool known = trusted.folderOwner.has_value();
    // Before the folder is known: the one other account that may yet own it.
    Account folderOwner = trusted.folderOwner.value_or(Account());
    for (const QList<Account>& link : changers) {
        for (const Account& account : link) {
            if (account == trusted.user || trusted.system.contains(account) ||
                (!folderOwner.isEmpty() && account == folderOwner))
                continue;
            if (known || !folderOwner.isEmpty() || account == anyone)
                return account;
            folderOwner = account;
        }
    }
    return std::nullopt;
}

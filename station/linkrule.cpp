#include "linkrule.h"

std::optional<Account> untrustedChanger(const QList<QList<Account>>& changers,
                                        const TrustedAccounts& trusted) {
    std::optional<Account> folderOwner = trusted.folderOwner;
    const bool known = folderOwner.has_value();
    for (const QList<Account>& link : changers) {
        for (const Account& account : link) {
            if (account == trusted.user || trusted.system.contains(account) ||
                account == folderOwner)
                continue;
            if (known || folderOwner || account == anyone)
                return account;
            folderOwner = account; // may yet own the folder
        }
    }
    return std::nullopt;
}

#pragma once

#include <QString>

// Names of the files a save makes beside the target: the target's name, a
// marker of this program's own and six random letters or digits. No operator
// or other program picks such a name.

// The new file while it is written: pelstart.dat.larkspur-k3x9q2.
QString pendingFileName(const QString& target);
bool isPendingFileName(const QString& targetFileName, const QString& name);

// Where Windows' ReplaceFileW moves the old file for the moment of the
// replace, and where it stays when it cannot go back:
// pelstart.dat.larkspur-backup-k3x9q2.
QString backupFileName(const QString& target);
bool isBackupFileName(const QString& targetFileName, const QString& name);

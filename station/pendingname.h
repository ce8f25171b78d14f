#pragma once

#include <QString>

// Names of the files a save writes before it puts them in place: the target's
// name, a marker of this program's own and six random letters or digits, such
// as pelstart.dat.larkspur-k3x9q2. No operator or other program picks such a name.

QString pendingFileName(const QString& target);

// The wildcard pattern that matches exactly those names beside a file of this name.
QString pendingFilePattern(const QString& targetFileName);

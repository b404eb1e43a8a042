#pragma once

#include <QString>

// Asks before a transfer replaces a file, once per file. When several files
// go at once it also offers "Yes to all" (asked no more after it) and
// "Skip" (this file is left out, the others go on).
class OverwriteQuestion {
public:
    enum class Answer { Replace, Skip, Cancel };

    explicit OverwriteQuestion(bool severalFiles) : several(severalFiles) { }

    // `name` is the file as the user knows it: a local path, or a remote one.
    Answer ask(const QString &name);

private:
    bool several;
    bool yesToAll = false;
};

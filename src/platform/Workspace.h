#pragma once

#include <QString>

#include "platform/ToolCommand.h"

// Hands files, addresses and applications to the desktop: "/usr/bin/open" on
// macOS, xdg-open elsewhere. Going through a command rather than
// QDesktopServices keeps zelvo_core free of GUI libraries and lets tests
// substitute a script that logs what it was asked to do.
class Workspace final
{
public:
    struct Tools
    {
        // "{target}": a local path or an address.
        ToolCommand open;
        // "{path}": the item to show; "{folder}": that item if it is a folder, else the folder holding it.
        ToolCommand reveal;
        // "{path}": the application bundle.
        ToolCommand launch;
    };

    static Tools platformTools();
    // macOS: open, open -R (selects the item in Finder).
    static Tools openTools(const QString &program = QStringLiteral("/usr/bin/open"));
    // Elsewhere: xdg-open; file managers share no way to select an item, so
    // reveal opens the folder holding it.
    static Tools xdgOpenTools(const QString &program = QStringLiteral("xdg-open"));

    explicit Workspace(Tools tools = platformTools());

    const Tools &tools() const { return m_tools; }

    // Opens a local path, a file:// address or a web address with its default
    // application. Returns at once and ignores failure.
    void open(const QString &pathOrUrl) const;

    // Hands a file to its default application and waits until the hand-over
    // is done (not until that application quits). Blocks the calling thread;
    // throws ZelvoError with the system's text when it fails.
    void openAndWait(const QString &path) const;

    // Shows the item in the file manager: selected on macOS, its folder opened
    // on Linux. Returns at once and ignores failure.
    void reveal(const QString &path) const;

    // Starts the application bundle with the default launch settings. Returns
    // at once and ignores failure.
    void launchApp(const QString &bundlePath) const;

    // Whether a process of this user runs an executable inside the bundle.
    // macOS asks the system's process list; elsewhere nothing is checked and
    // the answer is false.
    static bool isApplicationRunning(const QString &bundlePath);

private:
    Tools m_tools;
};

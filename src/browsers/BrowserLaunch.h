#pragma once
// What a shortcut's arguments make a browser do beyond starting: the switches that load an
// extension from a folder or open the browser to remote control, and the web pages it opens.
// A program of the user's adds them to the browser shortcuts of the desktop, the Start menu and
// the taskbar, so the browser comes up with its extension, under its control or on its page.

#include <string>
#include <string_view>

namespace sentrel {

// Whether `fileName` (a file name alone, any letter case) is the program of a browser.
bool IsBrowserProgram(std::string_view fileName);

struct BrowserLaunchConcerns {
    bool loadsExtension = false;  // --load-extension=<folder>
    bool remoteControl = false;   // --remote-debugging-port=<n>, --remote-debugging-pipe
    bool opensPage = false;       // a web address (http:, https:, ftp:, file:, javascript:, data:, www.)

    bool Any() const { return loadsExtension || remoteControl || opensPage; }
    // Each that `other` does not have too.
    BrowserLaunchConcerns Beyond(const BrowserLaunchConcerns& other) const;
};

// The concerns of command-line arguments, split as Windows splits them (blanks outside quotes).
BrowserLaunchConcerns LaunchConcernsOf(std::string_view arguments);

// The arguments with those parts taken out (a page's own switch, "-url" or "--new-window" before
// it, with it), the others left exactly as they were written.
std::string ArgumentsWithoutConcerns(std::string_view arguments);

// The concerns in words, for an alert: "loads an extension from a folder, opens the browser to
// remote control and opens a web page" (those that apply, in that order).
std::string LaunchConcernsText(const BrowserLaunchConcerns& concerns);

}  // namespace sentrel

#pragma once

#include <string>

// The service's own folders and files: made by the service's user, never through a
// link, readable by that user only (the run folder itself is 0755 so that its users'
// folders can be looked up; each user's folder is 0700).
class PrivateFolder
{
public:
    // Makes `folder` (mode 0700) in `parent` (made 0755 when missing) and empties it:
    // its files and the files of its sub-folders are removed. False when either is
    // not a folder of the service's user.
    static bool MakeEmpty(const std::string& parent, const std::string& folder);
    // Makes `folder`'s sub-folder `name` (0700). False on failure.
    static bool MakeSub(const std::string& folder, const std::string& name);
    // Removes `folder` with its files and sub-folders (the copies of a user's files
    // once that user's client has ended).
    static void Remove(const std::string& folder);
    // Writes a new file `path` (0600) with `text`. False on failure.
    static bool Write(const std::string& path, const std::string& text);
};

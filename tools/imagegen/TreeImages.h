#pragma once

#include <QImage>

#include <map>

// The gateway tree: its foot buttons, the gateway state icons, the tabs and the search button.
class TreeImages
{
public:
    // Draws the family's images into `images`, keyed by their numbers.
    static void Add(std::map<int, QImage>& images);
};

#pragma once

#include <QImage>

#include <map>

// The main window: background with its title band, the band's buttons and the program icon.
class MainWindowImages
{
public:
    // Draws the family's images into `images`, keyed by their numbers.
    static void Add(std::map<int, QImage>& images);
};

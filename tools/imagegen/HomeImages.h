#pragma once

#include <QImage>

#include <map>

// The home page: speaker, cloud logo and phone.
class HomeImages
{
public:
    // Draws the family's images into `images`, keyed by their numbers.
    static void Add(std::map<int, QImage>& images);
};

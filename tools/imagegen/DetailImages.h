#pragma once

#include <QImage>

#include <map>

// The gateway detail and the device table: status marks, the link picture and the switches.
class DetailImages
{
public:
    // Draws the family's images into `images`, keyed by their numbers.
    static void Add(std::map<int, QImage>& images);
};

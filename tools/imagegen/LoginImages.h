#pragma once

#include <QImage>

#include <map>

// The login view: its button, the two field frames and the illustration beside them.
class LoginImages
{
public:
    // Draws the family's images into `images`, keyed by their numbers.
    static void Add(std::map<int, QImage>& images);
};

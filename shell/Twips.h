#pragma once
// Window layouts are given in twips; the screen counts 15 twips a pixel.

constexpr int kTwipsPerPixel = 15;
constexpr int Px(int twips) { return twips / kTwipsPerPixel; }
constexpr int Twips(int pixels) { return pixels * kTwipsPerPixel; }

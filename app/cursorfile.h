#pragma once

#include <QByteArray>
#include <QPoint>
#include <QSize>
#include <optional>

// The hotspot a Windows cursor file (.cur) gives its first image, scaled from
// the size the file states to imageSize, the size the picture was loaded at.
// Nothing when the data is no cursor file.
std::optional<QPoint> cursorHotspot(const QByteArray &data, QSize imageSize);

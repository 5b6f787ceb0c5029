#pragma once

#include <QByteArray>
#include <functional>

#include "app/details/picturefacts.h"
#include "writer/values/valueplan.h"

// The value one picture's copy will hold under the plan, made from what was
// read of the picture, and checked against the tag: what Picture Details
// shows and what the run writes are made here alike.
MadeValue pictureValue(const ValuePlan &plan, ValueSource source, const PictureFacts &facts);

// Reads the picture's tags when the plan needs them, then pictureValue().
// Blocks on the file system: worker threads only.
MadeValue readPictureValue(const ValuePlan &plan, const ValueSource &source, const QByteArray &path);

// readPictureValue() for one file of a run, called with its path.
std::function<MadeValue(const QByteArray &)> pictureValueMaker(const ValuePlan &plan, const ValueSource &source);

// Pictures kept as raw pixels (PAM, 8 bits a sample, grey or RGB, with or without alpha),
// read without Qt's image readers, which load every image-format plugin at first use.
#pragma once

#include <QImage>
#include <QString>

#include "common/status.h"

// Reads the picture in the resource or file at `path` into `image`; not ok, with `image`
// left as it was, when it cannot be read.
pexal::Status ReadPam(const QString& path, QImage* image);

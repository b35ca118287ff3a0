// Pictures kept as raw pixels (PAM, 8 bits a sample, grey or RGB, with or without alpha),
// read without Qt's image readers, which load every image-format plugin at first use.
#pragma once

#include <QImage>
#include <QString>

// The picture in the resource or file at `path`; a null image when it cannot be read.
QImage ReadPam(const QString& path);

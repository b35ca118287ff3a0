// The page on screen (the control `Paper`): shows the retained page image and repaints
// only what a character changed. Owns the image; lives as long as the window.
#pragma once

#include <QWidget>

#include "printhead/page_image.h"

class PageWidget : public QWidget {
public:
    explicit PageWidget(QWidget* parent = nullptr);

    // What the print head draws on.
    PageImage& page() { return page_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PageImage page_;
};

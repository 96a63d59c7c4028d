// The picture buttons' 16 by 16 pictures, drawn in black on a transparent ground, and their
// greyed copies for disabled buttons.
#pragma once
#include <QvForms.h>

class Fl_RGB_Image;

namespace qv::ui::fltk {

// The picture, owned by the table of pictures; null for Picture::None.
Fl_RGB_Image* PictureImage(QvForms::Picture picture);
Fl_RGB_Image* GreyedPictureImage(QvForms::Picture picture);

}  // namespace qv::ui::fltk

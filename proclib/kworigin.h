// The origin picker of the geometric filters' panels (affine and polar
// transforms): the current image shown stretched, kept in its proportions;
// pressing the left button and dragging inside it sets the origin fields to
// the image point under the mouse.  It also reads and writes the two
// fields as the packs hold the origin: fractions of the image's size.
#pragma once

#include <QImage>
#include <QLineEdit>

#include "platform/bitmap.h"
#include "proclib/kwform.h"

namespace kwlib {

class TOriginPicker : public TPaintBox {
 public:
  TOriginPicker(QWidget* parent, QLineEdit* fieldX, QLineEdit* fieldY);

  // Shows a small copy of image (null: none) and remembers its size.
  void ShowImage(const TBitmap* image);
  bool ImageKnown() const { return imageW_ > 0 && imageH_ > 0; }

  // Sets the fields from a point of the picker ("%1.0f" of the image
  // size times the point's share of the picker); nothing without an image.
  void Pick(double px, double py);

  // The fields as fractions of the image's width and height, or as
  // thousandths while no image is known; a text that is no number counts
  // as 0.
  void ReadOrigin(float& x, float& y) const;
  // The origin as rounded pixels with the fields enabled, or as rounded
  // thousandths with the fields disabled while no image is known.
  void WriteOrigin(float x, float y);

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void fit();
  QLineEdit* fieldX_;
  QLineEdit* fieldY_;
  QImage thumb_;
  int imageW_ = 0, imageH_ = 0;
};

}  // namespace kwlib

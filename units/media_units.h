// What the picture, animation, dialog and printer units offer their commands beyond their
// properties (the drawing operations are the Canvas of drawing.h). A command finds the unit
// object and asks for these with dynamic_cast.
#pragma once
#include <windows.h>
#include <string>
#include "units/core_units.h"
#include "units/drawing.h"

namespace units {

// The unit types of pictures, drawing, dialogs, printing and data binding.
extern const CoreUnitType kPicBoxUnitType, kShapeBoxUnitType, kDrawPanelUnitType,
    kAnimateBoxUnitType, kCommonDlgUnitType, kPrinterUnitType, kGridUnitType, kDataSrcUnitType,
    kNProviderUnitType, kDBProviderUnitType, kPicBtnUnitType;

// The animation box: an AVI clip played by the platform's animation control.
class AnimationOps {
 public:
  virtual ~AnimationOps() = default;
  // Opens the clip file (empty closes it); false when the control refuses it.
  virtual bool open_clip(const std::string& file) = 0;
  // Plays frames from..to (to -1: the last), `repeat` times (-1: until stopped).
  virtual bool play(int from, int to, int repeat) = 0;
  virtual bool stop() = 0;
  virtual bool seek(int frame) = 0;
  virtual bool playing() const = 0;
};

// The common dialog unit: shows the dialog its kind names, modal to its window.
class DialogOps {
 public:
  virtual ~DialogOps() = default;
  // True when the user confirmed; the answers are then in the unit's properties.
  virtual bool open() = 0;
};

// The printer unit: a document of pages drawn through the Canvas operations, kept as one
// enhanced metafile per page and sent to the printer when the document ends.
class PrinterOps : public Canvas {
 public:
  virtual bool begin_document(const std::string& name) = 0;
  virtual bool new_page() = 0;
  // Sends the pages to the printer (or the output file); false when no printer takes them.
  virtual bool end_document() = 0;
  virtual void cancel_document() = 0;
  virtual int page_count() const = 0;
  // Plays page `index` (0-based) into `area` of a device context: previews and tests.
  virtual bool render_page(int index, HDC dc, const RECT& area) = 0;
};

}  // namespace units

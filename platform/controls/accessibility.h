// What assistive technology (a screen reader, through the desktop's
// accessibility bus) is told of the controls whose kind Qt's own
// accessibility does not know: image controls and picture boxes read as
// images, and labels made links read as links, with a press action that
// does what a click does.
#pragma once

namespace accessibility {

// Makes Qt describe those controls so; the controls call it as they are
// made. Once is enough, more calls do nothing.
void install();

}  // namespace accessibility

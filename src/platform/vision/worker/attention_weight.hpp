#pragma once

namespace lumenary::platform::vision {

// What a subject found in a photo is, as far as attention goes.
enum class SubjectKind { face, animal, person, object };

// How strongly a subject draws the eye, for attention to name the one that
// weighs most: by its kind (animals, then people, then other objects), by
// the finder's confidence (0 to 1), and by its share of the frame's area
// up to a tenth of the frame. Size counts for much: a bright street lamp
// of a hundredth of the frame, found at 0.61, weighs less than the rocket
// beside it, thirty times larger, at 0.58, as a person would name the
// rocket. Faces are the exception: any face outweighs every other subject,
// however small it is (the face detector finds none under an eighth of the
// image's side); between faces, confidence and size decide as for the
// rest. Not a number weighs nothing.
double attentionWeight(SubjectKind kind, double confidence, double frameShare);

}  // namespace lumenary::platform::vision

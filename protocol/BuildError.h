#pragma once

// Why a request could not be built. A field that cannot hold its value makes
// the request refused rather than sent with a cut value.
enum class BuildError {
    None,
    NotEmpty,             // the packet already holds bytes
    UnsupportedFunction,  // the function code is not in the function table
    CountTooLarge,        // the count field cannot hold the register count
    ByteCountTooLarge,    // functions 15 and 16: more than 255 data bytes
    ItemCountTooLarge,    // functions 65 to 68: more than 255 items
    PresetNotSixteenBit,  // function 6 writes one 16-bit register
    PresetDoesNotSuit,    // coil writes need a bit preset, register writes another
};

// A sentence for the user, e.g. "more than 255 data bytes in one write".
const wchar_t* BuildErrorText(BuildError error);

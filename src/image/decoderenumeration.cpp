#include "image/decoderenumeration.h"

DECODER_ENUM_FUNCTIONS gDecoderEnum = {MFTEnumEx};

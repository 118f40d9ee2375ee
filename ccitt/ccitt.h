#pragma once

// Everything a container reader needs to decode CCITT T.4 and T.6 pages:
//
//   CcittDecoder decoder(data, size, bitOrder, coding, polarity);
//   decoder.setGeometry(width, height);
//   decodePage(decoder, page);                 // codings 3, 4, 5 and 6
//
//   MmrDecoder mmr(data, size, bitOrder, t6Options, polarity, flagCount);
//   mmr.setGeometry(width, height);
//   decodeMmr(mmr, page);                      // coding 7
//
// Afterwards page.rows holds the rows decoded, never more than `height`.

#include "ccitt/bit_reversal.h"
#include "ccitt/ccitt_decoder.h"
#include "ccitt/fax_coding.h"
#include "ccitt/mh_decoder.h"
#include "ccitt/mmr_decoder.h"
#include "ccitt/paper_size.h"
#include "ccitt/row_transforms.h"
#include "ccitt/two_d_decoder.h"

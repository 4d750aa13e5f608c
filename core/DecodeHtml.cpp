#include "DecodeHtml.h"

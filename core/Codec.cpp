#include "Codec.h"

#include "modGoogleTranslate.h"

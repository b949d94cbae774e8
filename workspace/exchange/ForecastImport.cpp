#include "ForecastImport.h"

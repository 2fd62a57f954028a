// Object timer ids, handed out process-wide.
#include "ui/orvbaseuiobject.h"

namespace ORVUE {
namespace {
WORD g_nextTimerId = 0;
}

WORD NextTimerId() { return g_nextTimerId++; }

}  // namespace ORVUE

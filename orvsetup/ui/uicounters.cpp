// Process-wide counters of the UI engine: object timer ids and the change stamp.
#include "ui/orvbaseuiobject.h"

namespace ORVUE {
namespace {
WORD g_nextTimerId = 0;
DWORD g_changeStamp = 0;
}  // namespace

WORD NextTimerId() { return g_nextTimerId++; }

void NoteChange() { ++g_changeStamp; }
DWORD ChangeStamp() { return g_changeStamp; }

}  // namespace ORVUE

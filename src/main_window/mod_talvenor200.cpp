#include "mod_talvenor200.h"

namespace ModTalvenor200 {

QString gFrom;
QString gServer;
bool gPBSMTP = false;
bool gOUTLOG = false;
QString gPServer;
QString gUSER;
QString gPASS;
bool gSmtpPhase = false;
bool gPopTest = false;

void resetForTesting() {
  gFrom.clear();
  gServer.clear();
  gPBSMTP = false;
  gOUTLOG = false;
  gPServer.clear();
  gUSER.clear();
  gPASS.clear();
  gSmtpPhase = false;
  gPopTest = false;
}

}  // namespace ModTalvenor200

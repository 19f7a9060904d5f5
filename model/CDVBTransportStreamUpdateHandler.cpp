#include "model/CDVBTransportStreamUpdateHandler.h"

void CDVBTransportStreamUpdateHandler::OnServiceInformationUpdate(WORD, int) {}

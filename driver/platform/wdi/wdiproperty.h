// The handlers of the WDI property rows (the abort-task property's is WdiPropertySetTaskAbort of
// wdimain). A property handler returns its status and the property work item completes the request
// with it, except the statistics and next-dialog-token queries, whose handlers complete their request
// themselves when they succeed (on a failure the work item completes it with the failure).
#pragma once

#include "platform/wdi/wdimain.h"

WDI_MESSAGE_HANDLER WdiPropertySetP2pListenState;
WDI_MESSAGE_HANDLER WdiPropertySetPrivacyExemptionList;
WDI_MESSAGE_HANDLER WdiPropertySetAddCipherKeys;
WDI_MESSAGE_HANDLER WdiPropertySetDeleteCipherKeys;
WDI_MESSAGE_HANDLER WdiPropertySetDefaultKeyId;
WDI_MESSAGE_HANDLER WdiPropertySetConnectionQuality;
WDI_MESSAGE_HANDLER WdiPropertyGetStatistics;
WDI_MESSAGE_HANDLER WdiPropertySetNetworkListOffload;
WDI_MESSAGE_HANDLER WdiPropertyGetBssEntryList;
WDI_MESSAGE_HANDLER WdiPropertySetAdapterConfiguration;
WDI_MESSAGE_HANDLER WdiPropertyGetPmProtocolOffload;
WDI_MESSAGE_HANDLER WdiPropertySetAdvertisementInfo;
WDI_MESSAGE_HANDLER WdiPropertySetFlushBssEntry;
WDI_MESSAGE_HANDLER WdiPropertySetAssociationParameters;
WDI_MESSAGE_HANDLER WdiPropertyGetNextActionFrameDialogToken;
WDI_MESSAGE_HANDLER WdiPropertySetP2pWpsEnabled;
WDI_MESSAGE_HANDLER WdiPropertySetFastBssTransitionParameters;
WDI_MESSAGE_HANDLER WdiPropertySetNeighborReportEntries;
WDI_MESSAGE_HANDLER WdiPropertySetSAEParams;
WDI_MESSAGE_HANDLER WdiPropertySetLocationPrivacy;

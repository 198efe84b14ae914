#pragma once
// Every message class the engine exchanges. Including this header gives all of them; the platform
// library includes it once (Catalogue.cpp) so that each class is known to XMLDecoder from load time.
//
// Classes whose type number was never agreed with the management server or the peers take types
// from 900 upwards within their module, clear of the agreed ones. A field's name is its XML
// element name: renaming a field changes what is on the wire and in stored answers.
#include "platform/messages/catalogue/AlertMessages.h"
#include "platform/messages/catalogue/AppMessages.h"
#include "platform/messages/catalogue/BatchMessages.h"
#include "platform/messages/catalogue/CommonMessages.h"
#include "platform/messages/catalogue/DataSetMessages.h"
#include "platform/messages/catalogue/GlobalMonitoringMessages.h"
#include "platform/messages/catalogue/KqEntitiesMessages.h"
#include "platform/messages/catalogue/MaintenanceMessages.h"
#include "platform/messages/catalogue/NodeMessages.h"
#include "platform/messages/catalogue/PelmContentIndexingMessages.h"
#include "platform/messages/catalogue/PolicyMessages.h"
#include "platform/messages/catalogue/ServiceMessages.h"
#include "platform/messages/catalogue/SessionMessages.h"
#include "platform/messages/catalogue/TMMsgMessages.h"
#include "platform/messages/catalogue/TemplateMessages.h"

// Pulls every catalogue class into the platform library, so that their registrars run when the
// library loads and XMLDecoder can create any of them from its XML root name.
#include "platform/messages/catalogue/Catalogue.h"

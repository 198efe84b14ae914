#pragma once
// Credential messages of a web service login.
#include "platform/messages/MessageMacros.h"

// A login: the user name and the password as Base64 of its plain bytes.
#define LM_FIELDS_CheckCredentialReq(X)     \
    X(6, 6, Text, userName, void)           \
    X(10, 10, Text, password, void)
LM_MESSAGE(PelmContentIndexing, CheckCredentialReq, 14, 122, 0, LM_FIELDS_CheckCredentialReq)

// The answer to a login: the token that later requests carry.
#define LM_FIELDS_CheckCredentialResp(X) X(22, 22, Text, token, void)
LM_MESSAGE(PelmContentIndexing, CheckCredentialResp, 14, 123, 0, LM_FIELDS_CheckCredentialResp)

// All DOM wrapper classes in one include.
#pragma once

#include "cml/CmlDOM_CharacterData.h"
#include "cml/CmlDOM_Document.h"
#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlDOM_Misc.h"
#include "cml/CmlDOM_Node.h"
#include "cml/CmlDOM_NodeList.h"

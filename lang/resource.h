// Resource and control identifiers shared by the program and the language modules.
#pragma once

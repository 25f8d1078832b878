// The whole framework in one include.
#pragma once
#include "framework/String.h"
#include "framework/AfxIds.h"
#include "framework/Seams.h"
#include "framework/Wnd.h"
#include "framework/Document.h"
#include "framework/FrameWnd.h"
#include "framework/WinApp.h"
#include "framework/Dialog.h"

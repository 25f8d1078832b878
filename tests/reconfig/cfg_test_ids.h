#pragma once
#define IDD_JOB_LOOP 100

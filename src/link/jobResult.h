// What a job function returns to the driver: 0 when the job reached its
// success ending, -1 when it failed or the card reported failure.
#pragma once

// The job's file was refused (unreadable, or not of a form the job can
// send) before the job sent anything to the card.
const int JOB_REFUSED = -2;

// The job failed while the card was still taking its data: whatever the
// host sends next, the card would take as more of that data.
const int JOB_LEFT_OPEN = -3;

#pragma once

// The limits of an identity request throttle; the defaults are what the identity-service
// client uses.
struct IdentityThrottleOptions
{
    int maxRequestsPerMinute = 30;
    int circuitBreakerThreshold = 5;    // consecutive failures that open the circuit
    double circuitBreakerOpenDuration = 300;
    double maxBackoff = 300;            // caps every wait, Retry-After included
    double backoffBase = 1.0;
    int maxRetries = 3;                 // after the first attempt
};

// One network interface as read from the MIB-II interface table, and the operations that
// build the list of them through the SNMP extension agent.
#ifndef KAVLIN_NETIF_INTERFACES_H
#define KAVLIN_NETIF_INTERFACES_H

enum { INTERFACE_LOOPBACK_TYPE = 24, INTERFACE_DESCRIPTION_SIZE = 256 };

struct InterfaceRecord {
    unsigned short index;       // low 16 bits of ifIndex
    unsigned long in_octets;    // ifInOctets at the time of the walk
    unsigned long out_octets;   // ifOutOctets at the time of the walk
    char description[INTERFACE_DESCRIPTION_SIZE];  // ifDescr, NUL-terminated
    unsigned char type;         // low 8 bits of ifType
};

#endif

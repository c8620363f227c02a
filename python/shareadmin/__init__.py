# SPDX-License-Identifier: Apache-2.0
"""Administration of the local file server from Python, over ``libshareadmin`` (this module)
and ``libsharemonitor`` (``shareadmin.monitor``).

Every function runs on the calling thread with the GIL released while the library waits for
the server, so threads overlap their calls. Results are frozen dataclasses; failures raise
``ServerRefused``, ``Rejected``, ``Unreachable`` (``UnexpectedServer`` when the endpoint is held
by a uid not accepted, see ``set_server_uids``) or ``BadReply`` (all ``ShareAdminError``), and
wrong argument types or values raise ``TypeError``/``ValueError`` before anything is sent.
"""

from . import monitor
from ._core import LibraryMessage
from .connections import (clear_connections, close_connection_files, close_file,
                          close_volume_files, connection, connection_count, connections,
                          file_holders, mapped_shares, open_files)
from .errors import (BadReply, Rejected, ServerRefused, ShareAdminError, UnexpectedServer,
                     Unreachable)
from .facts import FactsMissing
from .options import (OPTION_NAMES, add_dns_entry, add_multichannel_interface,
                      add_virtual_server, clear_dfs_referral_cache, dump_crypto_keys,
                      dump_statistics, multichannel_interfaces, remove_dns_entry,
                      remove_multichannel_interface, remove_virtual_server, server_configuration,
                      server_status, set_cache, set_dfs_referral_cache_duration, set_option,
                      set_share_volumes_by_default, user_quota_sync, user_quota_view)
from .records import (Access, Connection, ConnectionDetails, ConnectionFiles, HeldFile,
                      InvalidUser, InvalidUserList, NamedAddress, OpenFile, OpenFileList,
                      ServerConfiguration, Share, ShareType)
from .shares import (create_share, list_shares, modify_share, remove_share, set_share_features,
                     set_share_mfa, share, share_names)
from .trust import server_uids, set_server_uids
from .users import (add_invalid_user, add_user_context, invalid_user_cache, invalid_users,
                    make_invalid_user_permanent, remove_invalid_user, remove_user_context,
                    set_invalid_user_timeout, user_contexts)

__all__ = [
    "monitor", "LibraryMessage", "ShareAdminError", "ServerRefused", "Rejected", "Unreachable",
    "BadReply", "UnexpectedServer", "FactsMissing", "set_server_uids", "server_uids", "Access", "Connection", "ConnectionDetails", "ConnectionFiles", "HeldFile",
    "InvalidUser", "InvalidUserList",
    "NamedAddress", "OpenFile", "OpenFileList", "ServerConfiguration", "Share", "ShareType",
    "share_names", "list_shares", "share", "create_share", "modify_share", "set_share_features",
    "set_share_mfa", "remove_share", "connection_count", "connections", "connection",
    "mapped_shares", "clear_connections", "open_files", "file_holders", "close_file",
    "close_volume_files",
    "close_connection_files", "invalid_users", "invalid_user_cache", "add_invalid_user",
    "remove_invalid_user", "make_invalid_user_permanent", "set_invalid_user_timeout",
    "user_contexts", "add_user_context", "remove_user_context", "OPTION_NAMES", "set_option",
    "dump_crypto_keys", "dump_statistics", "set_cache", "add_virtual_server",
    "remove_virtual_server", "add_dns_entry", "remove_dns_entry", "set_share_volumes_by_default",
    "user_quota_sync", "user_quota_view", "add_multichannel_interface",
    "remove_multichannel_interface", "multichannel_interfaces", "set_dfs_referral_cache_duration",
    "clear_dfs_referral_cache", "server_configuration", "server_status",
]
